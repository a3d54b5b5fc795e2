#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "SampleRecords.h"
#include "DownloadRecord.h"
#include "TransferTally.h"

namespace {

DownloadRecord SerialRecord()
{
    DownloadRecord record;
    record.start = At("2026-12-09T18:00:25.125Z");
    record.end = At("2026-12-09T18:00:34.625Z");
    record.program = "vennix-cli";
    record.version = "1.2";
    record.host = "bench-pc";
    record.user = "tech";
    record.transport = "serial";
    record.target = "COM40";
    record.port = "COM40";
    record.device = "/dev/pts/3";
    record.baudRate = 115200;
    record.format = "8n1";
    record.flowControl = "Xon/Xoff";
    record.filePath = "/images/fw, \"new\".bin";
    record.fileName = "fw, \"new\".bin";
    record.fileSize = 98304;
    record.fileKind = "firmware";
    record.sha256 = "ab";
    record.bytesRead = 98304;
    record.bytesSent = 98304;
    record.outcome = RecordOutcome::Failed;
    record.finalText = "Unable to open file.  Please verify the file\n \"x\" exists.";
    return record;
}

} // namespace

TEST(DownloadRecordTest, TimesAreUtcWithMillisecondsAndReadBack)
{
    const DownloadRecord::TimePoint time = At("2026-02-28T23:59:59.999Z");
    EXPECT_EQ(DownloadRecord::FormatTime(time), "2026-02-28T23:59:59.999Z");
    EXPECT_EQ(DownloadRecord::FormatTime(At("2024-02-29")), "2024-02-29T00:00:00.000Z");
    EXPECT_EQ(DownloadRecord::FormatTime(At("2026-12-09 18:05")), "2026-12-09T18:05:00.000Z");
    EXPECT_EQ(DownloadRecord::FormatTime(At("2026-12-09T18:05:07.5")), "2026-12-09T18:05:07.500Z");
    DownloadRecord::TimePoint ignored;
    for (const char* wrong : {"", "2026-02-30", "2026-13-01", "2026-12-09T25:00", "2026-12-09T18", "yesterday",
                              "2026-12-09T18:00:00.Z", "2026-12-09Z1"})
        EXPECT_FALSE(DownloadRecord::ParseTime(wrong, ignored)) << wrong;
}

TEST(DownloadRecordTest, JsonKeepsEveryFieldOnOneLine)
{
    const DownloadRecord record = SerialRecord();
    const std::string line = record.ToJson();
    EXPECT_EQ(line.find('\n'), std::string::npos) << "a final text's line break must stay escaped";

    DownloadRecord read;
    ASSERT_TRUE(DownloadRecord::FromJson(line, read));
    EXPECT_EQ(read.ToJson(), line);
    EXPECT_EQ(read.finalText, record.finalText);
    EXPECT_EQ(read.device, "/dev/pts/3");
    EXPECT_DOUBLE_EQ(read.DurationSeconds(), 9.5);

    const auto object = nlohmann::json::parse(line);
    EXPECT_EQ(object["outcome"], "failed");
    EXPECT_EQ(object["duration_s"], 9.5);
    EXPECT_EQ(object["baud"], 115200);
}

TEST(DownloadRecordTest, EthernetRecordsCarryTheAddressAndNoLine)
{
    DownloadRecord record = SerialRecord();
    record.transport = "ethernet";
    record.address = "192.168.1.50";
    record.udpPort = 69;
    record.outcome = RecordOutcome::TimedOut;
    const auto object = nlohmann::json::parse(record.ToJson());
    EXPECT_EQ(object["address"], "192.168.1.50");
    EXPECT_EQ(object["udp_port"], 69);
    EXPECT_EQ(object["outcome"], "timeout");
    EXPECT_FALSE(object.contains("baud"));
    EXPECT_FALSE(object.contains("port"));
}

TEST(DownloadRecordTest, TextThatIsNoUtf8StillGivesValidJson)
{
    DownloadRecord record = SerialRecord();
    record.filePath = "/images/\xe9t\xe9.bin"; // Latin-1, as an old folder may be named
    const std::string line = record.ToJson();
    EXPECT_TRUE(nlohmann::json::accept(line));
    DownloadRecord read;
    EXPECT_TRUE(DownloadRecord::FromJson(line, read));
}

TEST(DownloadRecordTest, DamagedOrForeignLinesAreNoRecords)
{
    DownloadRecord read;
    const std::string whole = SerialRecord().ToJson();
    EXPECT_FALSE(DownloadRecord::FromJson(whole.substr(0, whole.size() / 2), read));
    EXPECT_FALSE(DownloadRecord::FromJson("[1,2,3]", read));
    EXPECT_FALSE(DownloadRecord::FromJson(R"({"start":"2026-12-09T18:00:00Z"})", read));
    EXPECT_FALSE(DownloadRecord::FromJson(
        R"({"start":"2026-12-09T18:00:00Z","end":"2026-12-09T18:00:01Z","outcome":"exploded"})", read));
    // Fields of the wrong type or beyond their range are left out, not fatal
    // (a fraction or a huge number converted would be undefined).
    ASSERT_TRUE(DownloadRecord::FromJson(
        R"({"start":"2026-12-09T18:00:00Z","end":"2026-12-09T18:00:01Z","outcome":"finished","file_size":"big",)"
        R"("bytes_read":1e300,"bytes_sent":18446744073709551615,"udp_port":1099511627776,"baud":-1,"host":7})",
        read));
    EXPECT_EQ(read.fileSize, 0);
    EXPECT_EQ(read.bytesRead, 0);
    EXPECT_EQ(read.bytesSent, 0);
    EXPECT_EQ(read.udpPort, 0);
    EXPECT_EQ(read.baudRate, 0u);
    EXPECT_EQ(read.host, "");
    // Times beyond what the clock can count are no times.
    EXPECT_FALSE(DownloadRecord::FromJson(
        R"({"start":"9999-12-09T18:00:00Z","end":"2026-12-09T18:00:01Z","outcome":"finished"})", read));
}

TEST(DownloadRecordTest, CsvQuotesWhatNeedsIt)
{
    const DownloadRecord record = SerialRecord();
    const std::vector<std::string> header = DownloadRecord::CsvHeader();
    const std::vector<std::string> fields = record.CsvFields();
    ASSERT_EQ(fields.size(), header.size());
    EXPECT_EQ(DownloadRecord::CsvLine({"plain", "a,b", "say \"hi\"", "two\nlines", ""}),
              "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",");
    const std::string line = DownloadRecord::CsvLine(fields);
    EXPECT_NE(line.find("\"/images/fw, \"\"new\"\".bin\""), std::string::npos) << line;
    EXPECT_EQ(line.rfind("2026-12-09T18:00:25.125Z,2026-12-09T18:00:34.625Z,9.500,vennix-cli,", 0), 0u) << line;
}

TEST(DownloadRecordTest, TallyFillsInDigestCountsAndTheLineUsed)
{
    DownloadRecord record;
    record.baudRate = 9600;
    record.format = "8e1";
    TransferTally tally;
    tally.FillIn(record);
    // Nothing read: the chosen line stays, the digest is of no bytes.
    EXPECT_EQ(record.baudRate, 9600u);
    EXPECT_EQ(record.sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    const std::string text = "abc";
    tally.LineUsed(115200, "8n1", "RTS/CTS");
    tally.FileRead(reinterpret_cast<const uint8_t*>(text.data()), 2);
    tally.FileRead(reinterpret_cast<const uint8_t*>(text.data()) + 2, 1);
    tally.FileSent(2);
    tally.FillIn(record);
    EXPECT_EQ(record.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(record.bytesRead, 3);
    EXPECT_EQ(record.bytesSent, 2);
    EXPECT_EQ(record.baudRate, 115200u);
    EXPECT_EQ(record.format, "8n1");
    EXPECT_EQ(record.flowControl, "RTS/CTS");
}
