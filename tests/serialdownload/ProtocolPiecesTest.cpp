#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "FirmwareFrame.h"
#include "FrameCrc16.h"
#include "LoaderProtocol.h"
#include "ProgressMeter.h"

using namespace LoaderProtocol;

namespace {

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> VersionReplyOf(const std::string& text)
{
    // Built as a string first: GCC 12 warns falsely on inserting into a two-byte vector.
    return Bytes("\xFF\x99" + text + "\xFF\x99");
}

uint16_t CrcOf(const std::string& text)
{
    FrameCrc16 crc;
    crc.Update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return crc.Value();
}

} // namespace

TEST(FrameCrc16Test, MatchesTheStandardCheckValuesAndFoldsInPieces)
{
    EXPECT_EQ(CrcOf("123456789"), 0x29B1);
    EXPECT_EQ(CrcOf(""), 0xFFFF);
    EXPECT_EQ(CrcOf("abc"), 0x514A);

    EXPECT_EQ(FrameCrc16::Table()[0], 0x0000);
    EXPECT_EQ(FrameCrc16::Table()[1], 0x1021);
    EXPECT_EQ(FrameCrc16::Table()[255], 0x1EF0);

    // Block by block, as the transfer folds it, gives the same as all at once.
    std::vector<uint8_t> data(1500);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7 + 3);
    FrameCrc16 whole;
    whole.Update(data.data(), data.size());
    FrameCrc16 pieces;
    pieces.Update(data.data(), 512);
    pieces.Update(data.data() + 512, 512);
    pieces.Update(data.data() + 1024, data.size() - 1024);
    EXPECT_EQ(pieces.Value(), whole.Value());
}

TEST(FirmwareFrameTest, HeaderCarriesLengthAndComplementBigEndian)
{
    const auto empty = FirmwareFrame::Header(0);
    EXPECT_EQ(std::vector<uint8_t>(empty.begin(), empty.end()),
              (std::vector<uint8_t>{0x53, 0x2C, 0, 0, 0, 0, 0, 0, 0, 0}));
    const auto emptyTrailer = FirmwareFrame::Trailer(FrameCrc16().Value());
    EXPECT_EQ(std::vector<uint8_t>(emptyTrailer.begin(), emptyTrailer.end()), (std::vector<uint8_t>{0xFF, 0xFF}));

    const auto abc = FirmwareFrame::Header(3);
    EXPECT_EQ(std::vector<uint8_t>(abc.begin(), abc.end()),
              (std::vector<uint8_t>{0x53, 0x2C, 0, 0, 0, 3, 0xFF, 0xFF, 0xFF, 0xFD}));
    const auto abcTrailer = FirmwareFrame::Trailer(CrcOf("abc"));
    EXPECT_EQ(std::vector<uint8_t>(abcTrailer.begin(), abcTrailer.end()), (std::vector<uint8_t>{0x51, 0x4A}));

    const auto large = FirmwareFrame::Header(0x01020304);
    EXPECT_EQ(std::vector<uint8_t>(large.begin() + 2, large.end()),
              (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04, 0xFE, 0xFD, 0xFC, 0xFC}));
}

TEST(ContainsTokenTest, FindsTheFirstWholeTokenWithinTheCount)
{
    const std::vector<uint8_t> reply = {'x', 0xAA, 0x55, 'y', 0xAA, 0x55};
    EXPECT_EQ(ContainsToken(reply.data(), 6, BootloaderMarker, 2), 1);
    EXPECT_EQ(ContainsToken(reply.data(), 3, BootloaderMarker, 2), 1);
    EXPECT_EQ(ContainsToken(reply.data(), 6, ApploaderMarker, 2), -1);

    // A token cut by the count is not there, whatever follows in the buffer.
    EXPECT_EQ(ContainsToken(reply.data(), 2, BootloaderMarker, 2), -1);
    const std::vector<uint8_t> words = Bytes("refused: illegal!");
    EXPECT_EQ(ContainsToken(words.data(), static_cast<int>(words.size()), RefusalToken), 9);
    EXPECT_EQ(ContainsToken(words.data(), 15, RefusalToken), -1);
    EXPECT_EQ(ContainsToken(words.data(), 16, RefusalToken), 9);

    EXPECT_EQ(ContainsToken(words.data(), 0, RefusalToken), -1);
    EXPECT_EQ(ContainsToken(words.data(), -5, RefusalToken), -1);
    EXPECT_EQ(ContainsToken(nullptr, 10, RefusalToken), -1);
    EXPECT_EQ(ContainsToken(words.data(), 10, ""), -1);
}

TEST(ParseNumberTest, ReadsLikeAtofButOnlyTheGivenBytes)
{
    auto parse = [](const std::string& text) {
        return ParseNumber(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
    };
    EXPECT_DOUBLE_EQ(parse("1.45"), 1.45);
    EXPECT_DOUBLE_EQ(parse("  \t+2.5junk"), 2.5);
    EXPECT_DOUBLE_EQ(parse("-3e2"), -300.0);
    EXPECT_DOUBLE_EQ(parse("7."), 7.0);
    EXPECT_DOUBLE_EQ(parse("0x10"), 16.0);
    EXPECT_DOUBLE_EQ(parse("v1.45"), 0.0);
    EXPECT_DOUBLE_EQ(parse(""), 0.0);

    // The digits after the given length belong to something else.
    const char buffer[] = "1.456789";
    EXPECT_DOUBLE_EQ(ParseNumber(reinterpret_cast<const uint8_t*>(buffer), 3), 1.4);
}

TEST(ParseNumberTest, IgnoresTheProcessLocale)
{
    const char* const candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"};
    const char* chosen = nullptr;
    for (const char* name : candidates) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            chosen = name;
            break;
        }
    }
    if (chosen == nullptr)
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    const std::string text = "1.45";
    const double value = ParseNumber(reinterpret_cast<const uint8_t*>(text.data()), 4);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_DOUBLE_EQ(value, 1.45);
}

TEST(VersionReplyTest, ThresholdIsInclusiveAtTheReportedText)
{
    float version = -1.0f;
    auto reply = VersionReplyOf("1.45");
    ASSERT_EQ(ParseVersionReply(reply.data(), static_cast<int>(reply.size()), version), VersionReply::Reported);
    EXPECT_TRUE(version >= FrameCapableVersion);

    reply = VersionReplyOf("1.44");
    ASSERT_EQ(ParseVersionReply(reply.data(), static_cast<int>(reply.size()), version), VersionReply::Reported);
    EXPECT_FALSE(version >= FrameCapableVersion);

    reply = VersionReplyOf(" 2.1");
    ASSERT_EQ(ParseVersionReply(reply.data(), static_cast<int>(reply.size()), version), VersionReply::Reported);
    EXPECT_FLOAT_EQ(version, 2.1f);

    // Markers with nothing numeric between them report version 0.
    reply = VersionReplyOf("x");
    ASSERT_EQ(ParseVersionReply(reply.data(), static_cast<int>(reply.size()), version), VersionReply::Reported);
    EXPECT_EQ(version, 0.0f);
}

TEST(VersionReplyTest, RefusalOnlyForTheWholeWord)
{
    float version = 9.0f;
    auto reply = Bytes("Q;W;illegal");
    EXPECT_EQ(ParseVersionReply(reply.data(), static_cast<int>(reply.size()), version), VersionReply::Refused);
    EXPECT_EQ(version, 0.0f);

    version = 9.0f;
    reply = Bytes("i");
    EXPECT_EQ(ParseVersionReply(reply.data(), static_cast<int>(reply.size()), version), VersionReply::Unanswered);
    EXPECT_EQ(version, 9.0f);
    reply = Bytes("illega");
    EXPECT_EQ(ParseVersionReply(reply.data(), static_cast<int>(reply.size()), version), VersionReply::Unanswered);

    // An i inside a version reply does not make it a refusal.
    reply = VersionReplyOf("1.50i");
    EXPECT_EQ(ParseVersionReply(reply.data(), static_cast<int>(reply.size()), version), VersionReply::Reported);
    EXPECT_FLOAT_EQ(version, 1.5f);
}

TEST(VersionReplyTest, NeedsBothMarkersWithinTheCount)
{
    float version = 5.0f;
    auto reply = VersionReplyOf("1.60");
    // Cut before the second marker is complete: no answer yet.
    EXPECT_EQ(ParseVersionReply(reply.data(), static_cast<int>(reply.size()) - 1, version),
              VersionReply::Unanswered);
    EXPECT_EQ(ParseVersionReply(reply.data(), 2, version), VersionReply::Unanswered);
    EXPECT_EQ(version, 5.0f);

    // Noise before the first marker, and a state reply left over from before.
    std::vector<uint8_t> noisy = {0x00, 0xFF};
    const auto tail = VersionReplyOf("1.70");
    noisy.insert(noisy.end(), tail.begin(), tail.end());
    EXPECT_EQ(ParseVersionReply(noisy.data(), static_cast<int>(noisy.size()), version), VersionReply::Reported);
    EXPECT_FLOAT_EQ(version, 1.7f);

    // The number stops at the second marker even when digits follow it.
    auto followed = VersionReplyOf("1.5");
    followed.push_back('9');
    EXPECT_EQ(ParseVersionReply(followed.data(), static_cast<int>(followed.size()), version),
              VersionReply::Reported);
    EXPECT_FLOAT_EQ(version, 1.5f);
}

TEST(FlowControlReplyTest, TestsTheBytesInOrderNoneXonXoffRtsCts)
{
    FlowControl type = FlowControl::DsrDtr;
    std::vector<uint8_t> reply = {'F', ';', 0x82};
    ASSERT_TRUE(FlowControlFromReply(reply.data(), 3, type));
    EXPECT_EQ(type, FlowControl::RtsCts);

    reply = {0x82, 0x81};
    ASSERT_TRUE(FlowControlFromReply(reply.data(), 2, type));
    EXPECT_EQ(type, FlowControl::XonXoff);

    reply = {0x82, 0x81, 0x80};
    ASSERT_TRUE(FlowControlFromReply(reply.data(), 3, type));
    EXPECT_EQ(type, FlowControl::None);
    EXPECT_TRUE(FlowControlFromReply(reply.data(), 2, type));
    EXPECT_EQ(type, FlowControl::XonXoff);

    reply = {0x83, 0x7F, 'x'};
    EXPECT_FALSE(FlowControlFromReply(reply.data(), 3, type));
    EXPECT_FALSE(FlowControlFromReply(reply.data(), 0, type));

    EXPECT_STREQ(FlowControlName(FlowControl::None), "no");
    EXPECT_STREQ(FlowControlName(FlowControl::XonXoff), "Xon/Xoff");
    EXPECT_STREQ(FlowControlName(FlowControl::RtsCts), "RTS/CTS");
}

TEST(ProgressMeterTest, HundredBlocksReportEveryOtherBlock)
{
    ProgressMeter meter(100 * 512);
    std::vector<std::pair<int, int>> reports; // block number, percent
    for (int block = 1; block <= 100; ++block) {
        const int percent = meter.Advance(512);
        if (percent >= 0)
            reports.emplace_back(block, percent);
    }
    ASSERT_EQ(reports.size(), 50u);
    for (size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].first, static_cast<int>(2 * i + 2));
        EXPECT_EQ(reports[i].second, static_cast<int>(2 * i + 1));
    }
}

TEST(ProgressMeterTest, LargeStepsAndEmptyFiles)
{
    // One block is the whole file: the bar moves once, by one step.
    ProgressMeter single(300);
    EXPECT_EQ(single.Advance(300), 1);

    // Blocks worth 10 % each: every block reports one more than the last bar position.
    ProgressMeter tens(10 * 512);
    EXPECT_EQ(tens.Advance(512), 1);
    EXPECT_EQ(tens.Advance(512), 11);
    EXPECT_EQ(tens.Advance(512), 21);

    ProgressMeter empty(0);
    EXPECT_EQ(empty.Advance(0), -1);

    // Never more than 100 on the way, however the float sum rounds.
    ProgressMeter odd(1000003);
    int highest = 0;
    for (int64_t sent = 0; sent < 1000003; sent += 512)
        highest = std::max(highest, odd.Advance(std::min<int64_t>(512, 1000003 - sent)));
    EXPECT_LE(highest, 100);
    EXPECT_GE(highest, 98);
}
