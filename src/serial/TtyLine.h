#pragma once

#include "SerialLineSettings.h"

// Applies line settings to an open tty. Kept apart from the rest of the driver
// because it needs the kernel's termios2 (for rates without a B constant, such
// as 14400), whose header cannot be combined with <termios.h>.
class TtyLine {
public:
    enum class Result {
        Ok,
        BadRate,     // a rate of 0, or one the device refused
        BadFormat,   // data bits, parity or stop bits that cannot be set
        DeviceError, // the device failed the request; errno tells why
    };

    // Raw 8-bit line with reads that never wait (VMIN 0, VTIME 0), the rate,
    // format and flow control of the settings, RTS held on unless the handshake
    // drives it, and DTR as the settings say.
    static Result Apply(int fd, const SerialLineSettings& settings);
};
