#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// CRC-16/CCITT-FALSE (polynomial 0x1021, initial 0xFFFF, not reflected, no final
// XOR), the checksum that closes a firmware frame. Computed byte by byte from a
// 256-entry table so that a file can be folded in block by block.
class FrameCrc16 {
public:
    static constexpr uint16_t Polynomial = 0x1021;
    static constexpr uint16_t InitialValue = 0xFFFF;

    void Update(const uint8_t* data, size_t length);
    uint16_t Value() const { return value; }

    // Entry i is the register after shifting i, placed in the high byte, eight
    // times through the polynomial.
    static const std::array<uint16_t, 256>& Table();

private:
    uint16_t value = InitialValue;
};
