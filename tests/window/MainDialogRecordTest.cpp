// The record each of the window's downloads leaves in the user's download log:
// what went where and how it ended, written without holding up the window,
// a log that cannot be written told in the results box, and the history.
#include "DownloadLog.h"
#include "DownloadRecord.h"
#include "LogLock.h"
#include "Sha256Digest.h"
#include "TftpServer.h"
#include "WindowFixture.h"
#include "WindowRecorder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

class MainDialogRecordTest : public WindowFixture {
protected:
    std::vector<DownloadRecord> Records()
    {
        window->Recorder().WaitUntilWritten();
        std::vector<DownloadRecord> records;
        std::string error;
        EXPECT_TRUE(DownloadLog(window->Recorder().LogPath()).ReadAll(records, nullptr, &error)) << error;
        return records;
    }

    // An Ethernet download of `image` to a TFTP server on this computer.
    void StartServer()
    {
        TftpServerOptions options;
        options.address = "127.0.0.1";
        options.port = 0;
        server = std::make_unique<TftpServer>(options);
        std::string error;
        ASSERT_TRUE(server->Start(&error)) << error;
    }

    void OpenForEthernet(const std::string& file, uint16_t unitPort)
    {
        settings.portstatus = 0;
        settings.useethernet = 1;
        settings.filename = file;
        Open(Ports({}));
        window->unitTftpPort = unitPort;
        view.address = {127, 0, 0, 1};
    }

    size_t Count(const std::string& text, const std::string& part)
    {
        size_t count = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++count;
        return count;
    }

    std::unique_ptr<TftpServer> server;
};

TEST_F(MainDialogRecordTest, ASerialDownloadRecordsTheLineTheFileAndItsDigest)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    options.flowControlReply = 0x80;
    StartSimulator(options);
    const std::vector<uint8_t> image = RandomBytes(3000, 11);
    UseSimulatorPort(0);
    settings.filename = WriteFile("image.bin", image);
    Open();
    DownloadAndWait();
    ASSERT_EQ(view.progressStatus, "Download is finished.");

    EXPECT_EQ(window->Recorder().LogPath(), (folders.Root() / "data" / "Vennix" / "downloads.jsonl").string());
    const std::vector<DownloadRecord> records = Records();
    ASSERT_EQ(records.size(), 1u);
    const DownloadRecord& record = records[0];
    EXPECT_EQ(record.program, "vennix");
    EXPECT_FALSE(record.version.empty());
    EXPECT_EQ(record.transport, "serial");
    EXPECT_EQ(record.port, simulator->ComName());
    EXPECT_EQ(record.target, simulator->ComName());
    // The alias resolved: the pseudo-terminal it pointed at during the download.
    EXPECT_EQ(record.device, std::filesystem::canonical(simulator->SlavePath()).string());
    EXPECT_EQ(record.baudRate, 115200u);
    EXPECT_EQ(record.format, "8n1");
    EXPECT_FALSE(record.flowControl.empty());
    EXPECT_EQ(record.filePath, settings.filename);
    EXPECT_EQ(record.fileName, "image.bin");
    EXPECT_EQ(record.fileKind, "firmware");
    EXPECT_EQ(record.fileSize, 3000);
    EXPECT_EQ(record.sha256, Sha256Digest::HexOf(image.data(), image.size()));
    EXPECT_EQ(record.bytesSent, 3000);
    EXPECT_EQ(record.outcome, RecordOutcome::Finished);
    EXPECT_EQ(record.finalText, "Download is finished.");
    EXPECT_LE(record.start, record.end);
    EXPECT_TRUE(view.messages.empty());
    ExpectImage(0, image);
}

TEST_F(MainDialogRecordTest, EthernetDownloadsFinishedAndCancelledShowNewestFirstInTheHistory)
{
    StartServer();
    const std::vector<uint8_t> image = RandomBytes(5000, 12);
    OpenForEthernet(WriteFile("app.bff", image), server->BoundPort());
    DownloadAndWait();
    ASSERT_EQ(view.progressStatus, "Download is finished.");

    // A unit that never answers: the worker asks again until cancelled.
    window->unitTftpPort = 9;
    window->OnDownload();
    window->OnProgressCancel();
    ASSERT_TRUE(RunUntil([this] { return view.windowEnabled; }));

    const std::vector<DownloadRecord> records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].transport, "ethernet");
    EXPECT_EQ(records[0].address, "127.0.0.1");
    EXPECT_EQ(records[0].udpPort, server->BoundPort());
    EXPECT_EQ(records[0].fileKind, "application");
    EXPECT_EQ(records[0].sha256, Sha256Digest::HexOf(image.data(), image.size()));
    EXPECT_EQ(records[0].bytesSent, 5000);
    EXPECT_EQ(records[0].outcome, RecordOutcome::Finished);
    EXPECT_EQ(records[1].udpPort, 9);
    EXPECT_EQ(records[1].outcome, RecordOutcome::Cancelled);
    EXPECT_EQ(records[1].finalText, view.progressStatus); // word for word
    EXPECT_EQ(records[1].bytesSent, 0);

    window->OnHistory();
    ASSERT_EQ(view.histories.size(), 1u);
    const auto& rows = view.histories[0];
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], "127.0.0.1");
    EXPECT_EQ(rows[0][3], "cancelled");
    EXPECT_EQ(rows[1][3], "finished");
    EXPECT_EQ(rows[1][2], "app.bff");
    EXPECT_TRUE(Contains(view.historyCopy, records[0].sha256));
}

TEST_F(MainDialogRecordTest, TheWindowIsBackBeforeTheRecordIsWritten)
{
    StartServer();
    const std::vector<uint8_t> image = RandomBytes(700, 13);
    OpenForEthernet(WriteFile("app.bff", image), server->BoundPort());
    const std::string logPath = window->Recorder().LogPath();
    std::filesystem::create_directories(std::filesystem::path(logPath).parent_path());
    // Another program holds the log, as a busy shared log may be held.
    LogLock held;
    std::string error;
    ASSERT_TRUE(held.Acquire(DownloadLog(logPath).LockPath(), LogLock::Mode::Exclusive,
                             std::chrono::milliseconds(1000), error))
        << error;

    DownloadAndWait();
    EXPECT_EQ(view.progressStatus, "Download is finished.");
    EXPECT_FALSE(std::filesystem::exists(logPath)); // still waiting for the lock
    held.Release();
    const std::vector<DownloadRecord> records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].outcome, RecordOutcome::Finished);
    loop.RunFor(std::chrono::milliseconds(50));
    EXPECT_FALSE(Contains(view.results, "not recorded"));
}

TEST_F(MainDialogRecordTest, AnUnwritableLogCostsOneRedLineEachDownloadAndNeverTheDownload)
{
    // The data folder's place is taken by a file: no folder can be made there.
    const std::filesystem::path blocker = folders.Root() / "blocker";
    std::ofstream(blocker) << "not a folder";
    ::setenv("XDG_DATA_HOME", (blocker / "data").c_str(), 1);
    StartServer();
    const std::vector<uint8_t> image = RandomBytes(900, 14);
    OpenForEthernet(WriteFile("app.bff", image), server->BoundPort());

    for (int download = 1; download <= 2; ++download) {
        DownloadAndWait();
        EXPECT_EQ(view.progressStatus, "Download is finished.");
        const size_t told = static_cast<size_t>(download);
        ASSERT_TRUE(RunUntil([&] { return Count(view.results, "The download was not recorded: ") == told; }));
    }
    ASSERT_TRUE(RunUntil([&] { return server->ReceivedFiles().size() == 2; }));
    EXPECT_EQ(server->ReceivedFiles()[1].bytes, image);
    loop.RunFor(std::chrono::milliseconds(50));
    EXPECT_EQ(Count(view.results, "not recorded"), 2u);
    const auto& last = view.colouredResults.back();
    EXPECT_TRUE(Contains(last.first, "cannot make the folder")) << last.first;
    EXPECT_EQ(last.first.back(), '\n');
    EXPECT_EQ(last.second, 0x0000FFu); // red
    EXPECT_TRUE(view.messages.empty()); // no box in the operator's way

    // Nor can it be read: the history says so instead of showing an empty table.
    window->OnHistory();
    EXPECT_TRUE(view.histories.empty());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind("The download history could not be read.\n--\n", 0), 0u) << view.messages[0];
}

} // namespace
