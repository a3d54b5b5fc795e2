#include "FrameCrc16.h"

namespace {

constexpr std::array<uint16_t, 256> BuildTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ FrameCrc16::Polynomial)
                                 : static_cast<uint16_t>(crc << 1);
        }
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> crcTable = BuildTable();

} // namespace

const std::array<uint16_t, 256>& FrameCrc16::Table()
{
    return crcTable;
}

void FrameCrc16::Update(const uint8_t* data, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        value = static_cast<uint16_t>(crcTable[((value >> 8) ^ data[i]) & 0xFF] ^ (value << 8));
}
