// What arrives on the simulator's line where a firmware frame belongs, in
// pieces of any size: the reader must never use more bytes than it is given or
// than the frame holds, must judge the same whatever the pieces, and must
// accept exactly the frames whose header and CRC are right, keeping their data
// unchanged. A frame built by Vennix's own framing around the same bytes must
// be accepted and give them back.
//
// Input: a piece size (first byte), then the line bytes.
#include "FirmwareFrame.h"
#include "FirmwareFrameReader.h"
#include "FrameCrc16.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr size_t MaxLength = 4096;

struct Outcome {
    FirmwareFrameReader::Status status;
    bool complete;
    size_t used;
    std::vector<uint8_t> bytes;
};

Outcome Read(const uint8_t* line, size_t size, size_t piece)
{
    FirmwareFrameReader reader(MaxLength);
    size_t used = 0;
    while (used < size && reader.GetStatus() == FirmwareFrameReader::Status::Reading) {
        const size_t offered = std::min(piece, size - used);
        const size_t took = reader.Feed(line + used, offered);
        FUZZ_CHECK(took <= offered);
        // A reader still reading wants everything it is offered.
        FUZZ_CHECK(took == offered || reader.GetStatus() != FirmwareFrameReader::Status::Reading);
        used += took;
    }
    if (reader.GetStatus() == FirmwareFrameReader::Status::Reading)
        reader.EndOfInput();
    FUZZ_CHECK(reader.GetStatus() != FirmwareFrameReader::Status::Reading);
    FUZZ_CHECK(!reader.Image().verdict.empty());
    // Nothing is taken once judged.
    const uint8_t extra = 0;
    FUZZ_CHECK(reader.Feed(&extra, 1) == 0);
    return {reader.GetStatus(), reader.FrameComplete(), used, reader.Image().bytes};
}

uint32_t BigEndian(const uint8_t* b)
{
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t piece = data[0] == 0 ? size : data[0];
    const uint8_t* line = data + 1;
    const size_t length = size - 1;

    const Outcome whole = Read(line, length, length == 0 ? 1 : length);
    const Outcome pieces = Read(line, length, piece);
    FUZZ_CHECK(whole.status == pieces.status && whole.complete == pieces.complete && whole.used == pieces.used &&
               whole.bytes == pieces.bytes);

    // Judged on its own: a right header, the declared data, then its CRC.
    bool good = length >= 12 && line[0] == 'S' && line[1] == ',';
    uint32_t declared = 0;
    if (good) {
        declared = BigEndian(line + 2);
        good = static_cast<uint32_t>(declared + BigEndian(line + 6)) == 0 && declared <= MaxLength &&
               length >= 12 + size_t(declared);
    }
    if (good) {
        FrameCrc16 crc;
        crc.Update(line + 10, declared);
        good = crc.Value() == ((line[10 + declared] << 8) | line[11 + declared]);
    }
    FUZZ_CHECK((whole.status == FirmwareFrameReader::Status::Accepted) == good);
    if (good) {
        FUZZ_CHECK(whole.used == 12 + size_t(declared));
        FUZZ_CHECK(whole.bytes == std::vector<uint8_t>(line + 10, line + 10 + declared));
    }
    FUZZ_CHECK(whole.used <= length);

    // The same bytes framed as the download sends them.
    const size_t payload = std::min(length, MaxLength);
    std::vector<uint8_t> frame;
    const auto header = FirmwareFrame::Header(static_cast<uint32_t>(payload));
    frame.insert(frame.end(), header.begin(), header.end());
    frame.insert(frame.end(), line, line + payload);
    FrameCrc16 crc;
    crc.Update(line, payload);
    const auto trailer = FirmwareFrame::Trailer(crc.Value());
    frame.insert(frame.end(), trailer.begin(), trailer.end());
    const Outcome framed = Read(frame.data(), frame.size(), piece);
    FUZZ_CHECK(framed.status == FirmwareFrameReader::Status::Accepted && framed.complete);
    FUZZ_CHECK(framed.used == frame.size());
    FUZZ_CHECK(framed.bytes == std::vector<uint8_t>(line, line + payload));
    return 0;
}
