#include "FirmwareFrame.h"

namespace {

void PutBigEndian(uint8_t* out, uint32_t value)
{
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

} // namespace

std::array<uint8_t, FirmwareFrame::HeaderSize> FirmwareFrame::Header(uint32_t length)
{
    std::array<uint8_t, HeaderSize> header{};
    header[0] = 'S';
    header[1] = ',';
    PutBigEndian(header.data() + 2, length);
    // Unsigned negation is 2^32 - N, and 0 for an empty image.
    PutBigEndian(header.data() + 6, 0u - length);
    return header;
}

std::array<uint8_t, FirmwareFrame::TrailerSize> FirmwareFrame::Trailer(uint16_t crc)
{
    return {static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
}
