#pragma once

#include "Crc16Ccitt.h"
#include "ReceivedImage.h"

#include <cstddef>
#include <cstdint>

// Takes a firmware frame off the line piece by piece: "S,", the length and its
// two's complement (big-endian), the data, and the CRC of the data (big-endian),
// and judges it.
class FirmwareFrameReader {
public:
    enum class Status {
        Reading,  // the frame is not complete yet
        Accepted, // the whole frame arrived and every check passed
        Refused,  // see Image().verdict; FrameComplete() tells whether the frame's end was found
    };

    explicit FirmwareFrameReader(size_t maxLength);

    // Takes bytes of the frame and returns how many it used: it never reads past
    // the frame's end, nor past a header it has refused.
    size_t Feed(const uint8_t* data, size_t length);
    // The line went quiet before the frame was complete.
    void EndOfInput();

    Status GetStatus() const { return status; }
    bool FrameComplete() const { return frameComplete; }
    const ReceivedImage& Image() const { return image; }
    ReceivedImage& Image() { return image; }

private:
    enum class Stage { Header, Data, Crc, Done };

    void CheckHeader();
    void CheckCrc();
    void Refuse(std::string why);

    static constexpr size_t HeaderSize = 10; // "S," + length + complement
    static constexpr size_t CrcSize = 2;

    size_t maxLength;
    Stage stage = Stage::Header;
    Status status = Status::Reading;
    bool frameComplete = false;
    uint8_t header[HeaderSize] = {};
    size_t headerCount = 0;
    uint8_t crcBytes[CrcSize] = {};
    size_t crcCount = 0;
    Crc16Ccitt crc;
    ReceivedImage image;
};
