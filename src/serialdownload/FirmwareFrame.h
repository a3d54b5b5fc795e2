#pragma once

#include <array>
#include <cstdint>

// The envelope around a firmware image: "S,", the length N and its two's
// complement (both big-endian), the image unchanged, then its CRC high byte first.
class FirmwareFrame {
public:
    static constexpr int HeaderSize = 10;
    static constexpr int TrailerSize = 2;

    static std::array<uint8_t, HeaderSize> Header(uint32_t length);
    static std::array<uint8_t, TrailerSize> Trailer(uint16_t crc);
};
