#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16/CCITT-FALSE (polynomial 0x1021, start 0xFFFF, not reflected, no final
// XOR), worked bit by bit: the simulator checks what Vennix computes with its
// table, so it deliberately does not share that method.
class Crc16Ccitt {
public:
    void Add(const uint8_t* data, size_t length);
    uint16_t Value() const { return value; }

    static uint16_t Of(const uint8_t* data, size_t length);

private:
    uint16_t value = 0xFFFF;
};
