#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "DownloadTexts.h"
#include "DownloadRecorder.h"
#include "TransferObserver.h"
#include "HistoryTable.h"
#include "TempUserFolders.h"

namespace {

class DownloadRecorderTest : public ::testing::Test {
protected:
    DownloadRecorderTest()
        : log((folders.Root() / "log.jsonl").string()),
          recorder(std::make_unique<RecordWriter>(log, nullptr), "vennix", "1.2")
    {
    }

    std::vector<DownloadRecord> Written()
    {
        recorder.Writer()->WaitUntilIdle();
        std::vector<DownloadRecord> records;
        int skipped = 0;
        std::string error;
        EXPECT_TRUE(log.ReadAll(records, &skipped, &error)) << error;
        return records;
    }

    std::string WriteFile(const std::string& name, const std::string& text)
    {
        const std::string path = (folders.Root() / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    TempUserFolders folders;
    DownloadLog log;
    DownloadRecorder recorder;
};

} // namespace

TEST_F(DownloadRecorderTest, OutcomeComesFromTheFinalTextAndTheCancelFlag)
{
    EXPECT_EQ(DownloadRecorder::OutcomeOf(DownloadFinishedText, false), RecordOutcome::Finished);
    // The transfer ended before the cancel was seen: it finished.
    EXPECT_EQ(DownloadRecorder::OutcomeOf(DownloadFinishedText, true), RecordOutcome::Finished);
    EXPECT_EQ(DownloadRecorder::OutcomeOf("User cancelled this program", true), RecordOutcome::Cancelled);
    EXPECT_EQ(DownloadRecorder::OutcomeOf("Unmatched Socket DLL version", false), RecordOutcome::Failed);
}

TEST_F(DownloadRecorderTest, EachDownloadIsRecordedOnceWithWhatItsWorkerTold)
{
    const std::string path = WriteFile("fw.bin", "abc");
    auto observer = recorder.BeginSerial({path, 3, true}, 40, "/dev/pts/3", 9600, "8e1");
    ASSERT_TRUE(observer);
    observer->LineUsed(115200, "8n1", "Xon/Xoff");
    observer->FileRead(reinterpret_cast<const uint8_t*>("abc"), 3);
    observer->FileSent(3);
    recorder.End(DownloadFinishedText, false);
    recorder.End("a second Finish must not make a second record", false);

    auto ethernet = recorder.BeginEthernet({WriteFile("app.bff", ""), 0, false}, "192.168.1.50", 69);
    recorder.End("User cancelled this program", true);

    const std::vector<DownloadRecord> records = Written();
    ASSERT_EQ(records.size(), 2u);
    const DownloadRecord& serial = records[0];
    EXPECT_EQ(serial.program, "vennix");
    EXPECT_EQ(serial.target, "COM40");
    EXPECT_EQ(serial.device, "/dev/pts/3");
    EXPECT_EQ(serial.baudRate, 115200u);
    EXPECT_EQ(serial.flowControl, "Xon/Xoff");
    EXPECT_EQ(serial.filePath, path);
    EXPECT_EQ(serial.fileName, "fw.bin");
    EXPECT_EQ(serial.fileKind, "firmware");
    EXPECT_EQ(serial.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(serial.bytesSent, 3);
    EXPECT_EQ(serial.outcome, RecordOutcome::Finished);
    EXPECT_LE(serial.start, serial.end);

    EXPECT_EQ(records[1].transport, "ethernet");
    EXPECT_EQ(records[1].target, "192.168.1.50");
    EXPECT_EQ(records[1].udpPort, 69);
    EXPECT_EQ(records[1].fileKind, "application");
    EXPECT_EQ(records[1].outcome, RecordOutcome::Cancelled);
    EXPECT_EQ(records[1].finalText, "User cancelled this program");
}

TEST_F(DownloadRecorderTest, WithoutAWriterNothingIsObservedOrRecorded)
{
    DownloadRecorder off(nullptr, "vennix", "1.2");
    EXPECT_FALSE(off.BeginEthernet({"x.bff", 1, false}, "10.0.0.1", 69));
    off.End(DownloadFinishedText, false);
    EXPECT_FALSE(std::filesystem::exists(log.Path()));
}

TEST_F(DownloadRecorderTest, HistoryTableShowsTheNewestFirstAndCopiesAndExports)
{
    for (const std::string& text : {std::string("first"), std::string("second,\n\"quoted\"")}) {
        recorder.BeginEthernet({WriteFile("app.bff", "x"), 1, false}, "10.0.0.1", 69);
        recorder.End(text, false);
        // Starts a millisecond apart at least, so that the order is the start's.
        recorder.Writer()->WaitUntilIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    recorder.Writer()->WaitUntilIdle();

    HistoryTable table(log);
    std::string error;
    ASSERT_TRUE(table.Load(&error)) << error;
    ASSERT_EQ(table.RowCount(), 2u);
    EXPECT_EQ(table.Row(0)[7], "second, \"quoted\"");
    EXPECT_EQ(table.Row(1)[7], "first");
    EXPECT_EQ(table.Row(0)[3], "failed");
    EXPECT_EQ(table.Row(0)[4], "0 of 1");

    const std::string copied = table.CopyText({1});
    EXPECT_EQ(copied.substr(0, copied.find('\n')), "Start (UTC)\tTarget\tFile\tOutcome\tBytes sent\tSeconds\tSHA-256\tFinal text");
    EXPECT_NE(copied.find("\tfirst\n"), std::string::npos) << copied;
    EXPECT_EQ(copied.find("quoted"), std::string::npos) << copied;

    const std::string csvPath = (folders.Root() / "export.csv").string();
    ASSERT_TRUE(table.ExportCsv(csvPath, &error)) << error;
    std::ifstream in(csvPath, std::ios::binary);
    const std::string csv((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(csv, table.CsvText());
    EXPECT_EQ(csv.rfind("start,end,duration_s,", 0), 0u);
    EXPECT_NE(csv.find("\"second,\n\"\"quoted\"\"\"\r\n"), std::string::npos) << csv;

    EXPECT_FALSE(table.ExportCsv((folders.Root() / "no" / "such" / "x.csv").string(), &error));
    EXPECT_NE(error.find("x.csv"), std::string::npos) << error;
}

TEST_F(DownloadRecorderTest, HistoryNamesADeviceOnlyWhereItSaysMoreThanThePort)
{
    const std::string path = WriteFile("fw.bin", "abc");
    for (const std::string& device : {std::string("/dev/ttyUSB0"), std::string("\\\\.\\com41")}) {
        recorder.BeginSerial({path, 3, true}, device == "/dev/ttyUSB0" ? 40 : 41, device, 115200, "8n1");
        recorder.End(DownloadFinishedText, false);
        recorder.Writer()->WaitUntilIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    HistoryTable table(log);
    std::string error;
    ASSERT_TRUE(table.Load(&error)) << error;
    ASSERT_EQ(table.RowCount(), 2u);
    EXPECT_EQ(table.Row(0)[1], "COM41");
    EXPECT_EQ(table.Row(1)[1], "COM40 (/dev/ttyUSB0)");
}
