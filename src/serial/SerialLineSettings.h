#pragma once

#include <cstdint>

// The bytes that stop and restart the sender under XON/XOFF.
inline constexpr uint8_t XonByte = 0x11;
inline constexpr uint8_t XoffByte = 0x13;

// The line settings of an open port as last applied. Codes as the open calls
// take them: parity 0 none, 1 odd, 2 even, 3 mark, 4 space; stop bits 0 one,
// 1 one and a half, 2 two; byteSize the number of data bits.
struct SerialLineSettings {
    uint32_t baudRate = 0;
    int parity = 0;
    int stopBits = 0;
    int byteSize = 0;
    // Flow-control type (the FlowControl value), which selects XON/XOFF or the
    // RTS/CTS handshake.
    int32_t flow = 0;
    // DTR is chosen by the type given when the port was opened and stays so when
    // the flow control changes later.
    bool dtrOn = false;
};
