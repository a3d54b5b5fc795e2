// The simulator's own checks of what arrives: CRC, frame, escaping, digest, options.

#include "TerminalSimTestSupport.h"

#include "Crc16Ccitt.h"
#include "FirmwareFrameReader.h"
#include "Sha256.h"
#include "TerminalOptions.h"
#include "XonXoffUnescaper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

FirmwareFrameReader Read(const std::vector<uint8_t>& frame, size_t maxLength = 1 << 20)
{
    FirmwareFrameReader reader(maxLength);
    size_t used = reader.Feed(frame.data(), frame.size());
    EXPECT_LE(used, frame.size());
    return reader;
}

TEST(Crc16Ccitt, CheckValueAndPiecewiseFeeding)
{
    const std::string digits = "123456789";
    auto data = reinterpret_cast<const uint8_t*>(digits.data());
    EXPECT_EQ(Crc16Ccitt::Of(data, digits.size()), 0x29B1);
    Crc16Ccitt split;
    split.Add(data, 4);
    split.Add(data + 4, 5);
    EXPECT_EQ(split.Value(), 0x29B1);
    EXPECT_EQ(Crc16Ccitt::Of(nullptr, 0), 0xFFFF);
    EXPECT_EQ(Crc16Ccitt::Of(AbcFrame.data() + 10, 3), 0x514A);
}

TEST(FirmwareFrameReader, AcceptsTheAbcFrameWholeOrByteByByte)
{
    FirmwareFrameReader whole = Read(AbcFrame);
    EXPECT_EQ(whole.GetStatus(), FirmwareFrameReader::Status::Accepted);
    EXPECT_EQ(whole.Image().bytes, Bytes({'a', 'b', 'c'}));
    EXPECT_EQ(whole.Image().declaredLength, 3u);
    EXPECT_EQ(whole.Image().frameCrc, 0x514A);

    FirmwareFrameReader pieces(1 << 20);
    for (uint8_t byte : AbcFrame) {
        ASSERT_EQ(pieces.GetStatus(), FirmwareFrameReader::Status::Reading);
        EXPECT_EQ(pieces.Feed(&byte, 1), 1u);
    }
    EXPECT_EQ(pieces.GetStatus(), FirmwareFrameReader::Status::Accepted);
    EXPECT_EQ(pieces.Image().bytes, Bytes({'a', 'b', 'c'}));
}

TEST(FirmwareFrameReader, EmptyFileFrameIsAccepted)
{
    FirmwareFrameReader reader = Read(Bytes({0x53, 0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
    EXPECT_EQ(reader.GetStatus(), FirmwareFrameReader::Status::Accepted);
    EXPECT_TRUE(reader.Image().bytes.empty());
}

TEST(FirmwareFrameReader, StopsAtTheFrameEnd)
{
    std::vector<uint8_t> withTail = AbcFrame;
    withTail.push_back('Q');
    withTail.push_back(';');
    FirmwareFrameReader reader(1 << 20);
    EXPECT_EQ(reader.Feed(withTail.data(), withTail.size()), AbcFrame.size());
    EXPECT_EQ(reader.GetStatus(), FirmwareFrameReader::Status::Accepted);
}

TEST(FirmwareFrameReader, RefusesBrokenFrames)
{
    std::vector<uint8_t> badCrc = AbcFrame;
    badCrc.back() ^= 0x01;
    FirmwareFrameReader crc = Read(badCrc);
    EXPECT_EQ(crc.GetStatus(), FirmwareFrameReader::Status::Refused);
    EXPECT_TRUE(crc.FrameComplete());
    EXPECT_NE(crc.Image().verdict.find("CRC"), std::string::npos);

    std::vector<uint8_t> badComplement = AbcFrame;
    badComplement[9] = 0xFC;
    FirmwareFrameReader complement(1 << 20);
    // A refused header takes nothing beyond itself: its length is not to be trusted.
    EXPECT_EQ(complement.Feed(badComplement.data(), badComplement.size()), 10u);
    EXPECT_EQ(complement.GetStatus(), FirmwareFrameReader::Status::Refused);
    EXPECT_FALSE(complement.FrameComplete());
    EXPECT_NE(complement.Image().verdict.find("complement"), std::string::npos);

    std::vector<uint8_t> shortFrame(AbcFrame.begin(), AbcFrame.end() - 3);
    FirmwareFrameReader truncated = Read(shortFrame);
    EXPECT_EQ(truncated.GetStatus(), FirmwareFrameReader::Status::Reading);
    truncated.EndOfInput();
    EXPECT_EQ(truncated.GetStatus(), FirmwareFrameReader::Status::Refused);
    EXPECT_NE(truncated.Image().verdict.find("short"), std::string::npos);

    FirmwareFrameReader prefix = Read(Text("S;abc"));
    EXPECT_EQ(prefix.GetStatus(), FirmwareFrameReader::Status::Refused);
}

TEST(FirmwareFrameReader, RefusesALengthBeyondTheLimitWithoutBufferingIt)
{
    // 0x7FFFFFFF bytes declared, complement right.
    FirmwareFrameReader reader = Read(Bytes({0x53, 0x2C, 0x7F, 0xFF, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x01}), 1024);
    EXPECT_EQ(reader.GetStatus(), FirmwareFrameReader::Status::Refused);
    EXPECT_NE(reader.Image().verdict.find("larger"), std::string::npos);
}

TEST(XonXoffUnescaper, UndoesEscapingAcrossReads)
{
    XonXoffUnescaper unescaper;
    std::vector<uint8_t> out;
    std::vector<uint8_t> line = Bytes({0xBF, 0x93, 0x55, 0xBF, 0x20, 0x56, 0xBF, 0xBF, 0xBF});
    unescaper.Feed(line.data(), line.size(), out);
    EXPECT_EQ(out, Bytes({0x13, 0x55, 0x56, 0xBF}));
    EXPECT_TRUE(unescaper.HasPendingEscape());
    uint8_t follower = 0x91;
    unescaper.Feed(&follower, 1, out);
    EXPECT_EQ(out, Bytes({0x13, 0x55, 0x56, 0xBF, 0x11}));
    EXPECT_EQ(unescaper.BadEscapes(), 1u);

    // Bare XON/XOFF are the sender's flow control, not data.
    out.clear();
    std::vector<uint8_t> flow = Bytes({0x41, 0x13, 0x42, 0x11});
    unescaper.Feed(flow.data(), flow.size(), out);
    EXPECT_EQ(out, Bytes({0x41, 0x42}));
    EXPECT_EQ(unescaper.FlowControlBytes(), 2u);
}

TEST(XonXoffUnescaper, EscapeThenUnescapeGivesEveryByteBack)
{
    std::vector<uint8_t> all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<uint8_t>(i));
    std::vector<uint8_t> line = XonXoffUnescaper::Escape(all.data(), all.size());
    EXPECT_EQ(line.size(), 259u);
    EXPECT_EQ(std::count(line.begin(), line.end(), 0x11), 0);
    EXPECT_EQ(std::count(line.begin(), line.end(), 0x13), 0);
    XonXoffUnescaper unescaper;
    std::vector<uint8_t> back;
    unescaper.Feed(line.data(), line.size(), back);
    EXPECT_EQ(back, all);
}

TEST(Sha256, KnownDigests)
{
    auto hex = [](const std::string& text) {
        return Sha256::Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    };
    EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first block.
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    std::string million(1000000, 'a');
    EXPECT_EQ(hex(million), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

} // namespace
