#include "FirmwareFrameReader.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

uint32_t BigEndian32(const uint8_t* bytes)
{
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | uint32_t(bytes[3]);
}

std::string Hex16(uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

} // namespace

FirmwareFrameReader::FirmwareFrameReader(size_t maxLength) : maxLength(maxLength)
{
    image.kind = ReceivedImage::Kind::Firmware;
}

size_t FirmwareFrameReader::Feed(const uint8_t* data, size_t length)
{
    size_t used = 0;
    while (used < length && status == Status::Reading) {
        switch (stage) {
        case Stage::Header: {
            header[headerCount++] = data[used++];
            if (headerCount == 2 && (header[0] != 'S' || header[1] != ',')) {
                Refuse("no \"S,\" at the start of the frame");
                break;
            }
            if (headerCount == HeaderSize)
                CheckHeader();
            break;
        }
        case Stage::Data: {
            size_t wanted = image.declaredLength - image.bytes.size();
            size_t take = std::min(wanted, length - used);
            image.bytes.insert(image.bytes.end(), data + used, data + used + take);
            crc.Add(data + used, take);
            used += take;
            if (image.bytes.size() == image.declaredLength)
                stage = Stage::Crc;
            break;
        }
        case Stage::Crc:
            crcBytes[crcCount++] = data[used++];
            if (crcCount == CrcSize)
                CheckCrc();
            break;
        case Stage::Done:
            return used;
        }
    }
    return used;
}

void FirmwareFrameReader::CheckHeader()
{
    image.headerComplete = true;
    image.declaredLength = BigEndian32(header + 2);
    image.declaredComplement = BigEndian32(header + 6);
    // Unsigned arithmetic wraps, so a right complement always sums to 0 (also for N = 0).
    if (static_cast<uint32_t>(image.declaredLength + image.declaredComplement) != 0) {
        Refuse("length complement is wrong: length " + std::to_string(image.declaredLength) + ", complement " +
               std::to_string(image.declaredComplement));
        return;
    }
    if (image.declaredLength > maxLength) {
        Refuse("declared length " + std::to_string(image.declaredLength) + " is larger than the " +
               std::to_string(maxLength) + " bytes this unit takes");
        return;
    }
    image.bytes.reserve(image.declaredLength);
    stage = image.declaredLength == 0 ? Stage::Crc : Stage::Data;
}

void FirmwareFrameReader::CheckCrc()
{
    stage = Stage::Done;
    frameComplete = true;
    image.frameCrc = static_cast<uint16_t>((crcBytes[0] << 8) | crcBytes[1]);
    image.computedCrc = crc.Value();
    if (image.frameCrc != image.computedCrc) {
        Refuse("CRC mismatch: frame says " + Hex16(image.frameCrc) + ", data gives " + Hex16(image.computedCrc));
        return;
    }
    status = Status::Accepted;
    image.accepted = true;
    image.verdict = "frame accepted (" + std::to_string(image.bytes.size()) + " bytes, CRC " + Hex16(image.computedCrc) + ")";
}

void FirmwareFrameReader::EndOfInput()
{
    if (status != Status::Reading)
        return;
    image.computedCrc = crc.Value();
    size_t got = headerCount + image.bytes.size() + crcCount;
    std::string expected = image.headerComplete ? std::to_string(HeaderSize + image.declaredLength + CrcSize)
                                                : std::string("at least ") + std::to_string(HeaderSize + CrcSize);
    Refuse("short frame: the line went quiet after " + std::to_string(got) + " of " + expected + " bytes");
}

void FirmwareFrameReader::Refuse(std::string why)
{
    stage = Stage::Done;
    status = Status::Refused;
    image.accepted = false;
    image.verdict = std::move(why);
}
