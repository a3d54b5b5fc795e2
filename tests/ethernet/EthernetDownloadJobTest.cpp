#include "EthernetDownloadJob.h"

#include "DownloadFile.h"
#include "TestSupport.h"
#include "TftpServer.h"

#include <algorithm>
#include <fstream>
#include <memory>

using namespace ethernettest;

namespace {

const std::string Establishing = "Establishing connection to 127.0.0.1...";
const std::string StartDownloading = "Start downloading...";
const std::string Finished = "Download is finished.";
const std::string Cancelled = "User cancelled this program";
const std::string NotReady = "Terminal not ready for application download.  Please prepare terminal for download.";

class EthernetDownloadJobTest : public ::testing::Test {
protected:
    static TftpServerOptions FastEnding()
    {
        TftpServerOptions options;
        options.port = 0;
        options.endIdleMs = 400;
        return options;
    }

    // Starts the simulated unit; each test gets its own on a free port.
    void StartUnit(TftpServerOptions options = FastEnding())
    {
        unit = std::make_unique<TftpServer>(options);
        std::string error;
        ASSERT_TRUE(unit->Start(&error)) << error;
    }

    // Runs one download to its end on the worker thread, as the program does.
    void Download(const std::string& path, int kind = Application, uint16_t port = 0,
                  const std::string& address = "127.0.0.1")
    {
        EthernetDownloadJob job(path, kind, address, *reporter, port ? port : unit->BoundPort());
        ASSERT_TRUE(job.Start());
        if (!reporter->WaitFinished()) {
            // Stop the worker before the test's reporter goes away.
            reporter->Cancel();
            EXPECT_TRUE(reporter->WaitFinished());
            FAIL() << "the download did not end";
        }
        ASSERT_TRUE(WaitUntil([&] { return !job.IsRunning(); }));
        EXPECT_EQ(reporter->Finishes(), 1);
    }

    std::vector<uint8_t> ReceivedBytes()
    {
        EXPECT_TRUE(WaitUntil([&] { return unit->ReceivedFiles().size() == 1; }));
        const auto files = unit->ReceivedFiles();
        return files.empty() ? std::vector<uint8_t>{} : files[0].bytes;
    }

    // A test that runs several downloads takes a fresh reporter for each; the
    // earlier ones stay alive until the test ends.
    void NewReporter()
    {
        retired.push_back(std::move(reporter));
        reporter = std::make_unique<RecordingReporter>();
    }

    TempFolder folder;
    std::unique_ptr<RecordingReporter> reporter = std::make_unique<RecordingReporter>();
    std::vector<std::unique_ptr<RecordingReporter>> retired;
    std::unique_ptr<TftpServer> unit;
};

TEST_F(EthernetDownloadJobTest, EmptyFileEndsAfterTheRequestWithoutData)
{
    StartUnit();
    Download(folder.Write("empty.bff", {}));
    EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{Establishing, StartDownloading, Finished}));
    EXPECT_TRUE(reporter->Progress().empty());
    EXPECT_TRUE(ReceivedBytes().empty());
    EXPECT_EQ(unit->Stats().dataPackets, 0u);
    EXPECT_EQ(unit->ReceivedFiles()[0].name, "bff.bff");
}

TEST_F(EthernetDownloadJobTest, BlocksAndProgressFollowTheFileLength)
{
    struct Case {
        size_t size;
        int kind;
        uint64_t blocks;
        std::vector<int> progress;
    };
    std::vector<int> tens, odds;
    for (int k = 1; k <= 91; k += 10)
        tens.push_back(k);
    for (int k = 1; k <= 99; k += 2)
        odds.push_back(k);
    const std::vector<Case> cases = {
        {2048, Application, 2, {1, 51}}, // a multiple of 1024 ends on a full block: no empty third
        {1025, Firmware, 2, {1}},        // the 1-byte block brings the sum to exactly 100: not past 99 + 1
        {10240, Application, 10, tens},  // ten blocks of 10 percent each: the bar lags, never 100
        {102400, Firmware, 100, odds},   // a hundred blocks of exactly 1 percent: every second block
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        NewReporter();
        StartUnit();
        const auto bytes = Pattern(c.size);
        Download(folder.Write("file" + std::to_string(c.size), bytes), c.kind);
        EXPECT_EQ(reporter->Statuses().back(), Finished);
        EXPECT_EQ(reporter->Progress(), c.progress);
        EXPECT_EQ(ReceivedBytes(), bytes);
        EXPECT_EQ(unit->ReceivedFiles()[0].name, c.kind == Firmware ? "bin.bin" : "bff.bff");
        EXPECT_EQ(unit->Stats().blocksStored, c.blocks);
        EXPECT_EQ(unit->Stats().blocksAheadOfAck, 0u);
    }
}

TEST_F(EthernetDownloadJobTest, BlockNumberWrapsToZeroAfter65535)
{
    TftpServerOptions options = FastEnding();
    options.keepBytes = false; // 64 MiB: compared by size and digest
    StartUnit(options);

    // A pattern whose period is no multiple of the block size, so a block sent
    // from the wrong place changes the digest.
    const auto period = Pattern(1024 * 1024 + 3);
    const uint64_t size = 65537 * 1024 + 10;
    const std::string path = folder.path + "/large.bin";
    uint64_t digest = TftpDigestStart;
    {
        std::ofstream out(path, std::ios::binary);
        for (uint64_t left = size; left > 0;) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, period.size()));
            out.write(reinterpret_cast<const char*>(period.data()), static_cast<std::streamsize>(piece));
            digest = TftpDigest(period.data(), piece, digest);
            left -= piece;
        }
    }
    Download(path, Firmware);
    EXPECT_EQ(reporter->Statuses().back(), Finished);
    // Blocks are taken only in order, so the 65536th went out as 0 and 0 was acknowledged.
    EXPECT_EQ(unit->Stats().blocksStored, 65538u);
    ASSERT_TRUE(WaitUntil([&] { return unit->ReceivedFiles().size() == 1; }));
    EXPECT_EQ(unit->ReceivedFiles()[0].size, size);
    EXPECT_EQ(unit->ReceivedFiles()[0].digest, digest);
    // Tiny steps: one call per whole percent, in order.
    const auto progress = reporter->Progress();
    ASSERT_GE(progress.size(), 99u);
    for (size_t i = 0; i < progress.size(); ++i)
        ASSERT_EQ(progress[i], static_cast<int>(i) + 1);
}

TEST_F(EthernetDownloadJobTest, RequestErrorsAreShownWhileTheRequestGoesOn)
{
    TftpServerOptions options = FastEnding();
    options.requestErrorCode = 3;
    options.requestErrorCount = 3;
    StartUnit(options);
    Download(folder.Write("a.bff", Pattern(100)));
    EXPECT_EQ(reporter->Statuses(),
              (std::vector<std::string>{Establishing, "Initiating connection  please CANCEL",
                                        "Initiating connection  please CANCEL",
                                        "Initiating connection  please CANCEL", StartDownloading, Finished}));
    // The answer to a request is mostly read in the next cycle, so the unit may
    // see one more request than it refused and acknowledged.
    EXPECT_GE(unit->Stats().requests, 4u);
    EXPECT_EQ(unit->Stats().errorsSent, 3u);
}

TEST_F(EthernetDownloadJobTest, DataErrorEndsTheTransferWithItsText)
{
    for (const auto& [code, text] : std::vector<std::pair<int, std::string>>{
             {2, NotReady}, {9, "Terminal reported an unknown error (code 9)"}}) {
        SCOPED_TRACE(code);
        NewReporter();
        TftpServerOptions options = FastEnding();
        options.dataErrorCode = code;
        options.dataErrorBlock = 2;
        StartUnit(options);
        Download(folder.Write("a.bff", Pattern(3000)));
        EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{Establishing, StartDownloading, text}));
        EXPECT_EQ(reporter->Progress(), std::vector<int>{1});
        EXPECT_EQ(unit->Stats().blocksStored, 1u);
    }
}

TEST_F(EthernetDownloadJobTest, DuplicateAcknowledgementCountsAsAPoll)
{
    UdpPeer unitMain, unitReply;
    EthernetDownloadJob job(folder.Write("one.bff", Pattern(10)), Application, "127.0.0.1", *reporter, unitMain.port);
    ASSERT_TRUE(job.Start());
    const auto request = unitMain.Receive();
    ASSERT_TRUE(request);
    const uint16_t client = request->FromPort();
    unitReply.SendTo(client, Packet(4, 0));
    // The acknowledgement is mostly read a cycle later, after one more request.
    std::optional<Received> data;
    do
        data = unitMain.Receive();
    while (data && data->Opcode() == 2);
    ASSERT_TRUE(data && data->Opcode() == 3 && data->Field() == 1);
    constexpr int Duplicates = 30;
    for (int i = 0; i < Duplicates; ++i)
        unitReply.SendTo(client, Packet(4, 0));
    unitReply.SendTo(client, Packet(4, 1));
    ASSERT_TRUE(reporter->WaitFinished());
    EXPECT_EQ(reporter->Statuses().back(), Finished);

    // Each duplicate took one of a send's ten polls, so DATA 1 went out again at
    // least once per ten of them; all of it went to the main port.
    int copies = 1;
    while (auto d = unitMain.Receive(0ms)) {
        if (d->Opcode() == 3 && d->Field() == 1)
            ++copies;
    }
    EXPECT_GE(copies, 1 + Duplicates / 10);
    EXPECT_FALSE(unitReply.Receive(0ms));
}

TEST_F(EthernetDownloadJobTest, OnlyTheUnitSteersTheRequest)
{
    UdpPeer unitMain, unitOther;
    UdpPeer forger("127.0.0.2");
    ASSERT_TRUE(forger.bound) << "127.0.0.2 must be a loopback address";
    EthernetDownloadJob job(folder.Write("a.bff", Pattern(10)), Application, "127.0.0.1", *reporter, unitMain.port);
    ASSERT_TRUE(job.Start());
    const auto request = unitMain.Receive();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->bytes, WriteRequest("bff.bff"));
    const uint16_t client = request->FromPort();

    // Sent before the unit's own ERROR, so read before it.
    forger.SendTo(client, Packet(4, 0));
    forger.SendTo(client, Packet(5, 1));
    unitOther.SendTo(client, {0, 5, 0}); // too short to be an ERROR
    unitOther.SendTo(client, Packet(5, 3));
    ASSERT_TRUE(reporter->WaitForStatus("Initiating connection  please CANCEL"));
    reporter->Cancel();
    ASSERT_TRUE(reporter->WaitFinished());
    EXPECT_EQ(reporter->Statuses(),
              (std::vector<std::string>{Establishing, "Initiating connection  please CANCEL", Cancelled}));
}

TEST_F(EthernetDownloadJobTest, OnlyTheUnitsTransferPortSteersTheData)
{
    TftpServerOptions options = FastEnding();
    options.ackDelayMs = 600; // room to forge before each genuine acknowledgement
    StartUnit(options);
    const auto bytes = Pattern(1025);
    EthernetDownloadJob job(folder.Write("a.bff", bytes), Application, "127.0.0.1", *reporter, unit->BoundPort());
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(WaitUntil([&] { return unit->Stats().blocksStored == 1; }));

    const auto stats = unit->Stats();
    UdpPeer otherPort;
    UdpPeer otherHost("127.0.0.2", stats.replyPort);
    ASSERT_TRUE(otherHost.bound);
    for (const UdpPeer* forger : {&otherPort, &otherHost}) {
        forger->SendTo(stats.clientPort, Packet(4, 1));
        forger->SendTo(stats.clientPort, Packet(5, 2));
    }
    ASSERT_TRUE(reporter->WaitFinished());
    EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{Establishing, StartDownloading, Finished}));
    EXPECT_EQ(unit->Stats().blocksAheadOfAck, 0u);
    EXPECT_EQ(ReceivedBytes(), bytes);
}

TEST_F(EthernetDownloadJobTest, RefusedSendsAreReportedOnceAndTheRequestGoesOn)
{
    // Broadcast without permission, and text that converts to the same address.
    for (const std::string address : {"255.255.255.255", "no.such.unit"}) {
        SCOPED_TRACE(address);
        NewReporter();
        const std::string problem = "communication to " + address + " has problem, please CANCEL";
        EthernetDownloadJob job(folder.Write("a.bff", Pattern(10)), Application, address, *reporter, 6969);
        ASSERT_TRUE(job.Start());
        ASSERT_TRUE(reporter->WaitForStatus(problem));
        std::this_thread::sleep_for(350ms); // a few more requests
        reporter->Cancel();
        ASSERT_TRUE(reporter->WaitFinished());
        EXPECT_EQ(reporter->Statuses(),
                  (std::vector<std::string>{"Establishing connection to " + address + "...", problem, Cancelled}));
    }
}

TEST_F(EthernetDownloadJobTest, RefusalsBeforeTheRequestSendNothing)
{
    UdpPeer unitMain;
    const std::string missing = folder.path + "/missing.bff";
    const std::string present = folder.Write("a.bin", Pattern(10));
    struct Case {
        std::string path;
        int kind;
        bool cancelled;
        std::string text;
    };
    const std::vector<Case> cases = {
        {present, 0, false, "Ehernet download doesnot support usage other than application and firmware "},
        {missing, Application, false, "Unable to open file.  Please verify the file\n \"" + missing + "\" exists."},
        {present, Firmware, true, Cancelled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        NewReporter();
        if (c.cancelled)
            reporter->Cancel();
        EthernetDownloadJob job(c.path, c.kind, "127.0.0.1", *reporter, unitMain.port);
        ASSERT_TRUE(job.Start());
        ASSERT_TRUE(reporter->WaitFinished());
        EXPECT_EQ(reporter->Statuses(), std::vector<std::string>{c.text});
        EXPECT_FALSE(unitMain.Receive(0ms));
    }
}

TEST_F(EthernetDownloadJobTest, CancelEndsTheRequestAndTheDataPhase)
{
    // A unit that never answers the request.
    {
        UdpPeer silent;
        EthernetDownloadJob job(folder.Write("a.bff", Pattern(10)), Application, "127.0.0.1", *reporter, silent.port);
        ASSERT_TRUE(job.Start());
        ASSERT_TRUE(silent.Receive());
        reporter->Cancel();
        ASSERT_TRUE(reporter->WaitFinished());
        EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{Establishing, Cancelled}));
    }
    // A unit that never finishes writing the first block.
    NewReporter();
    TftpServerOptions options = FastEnding();
    options.ackDelayMs = 60000;
    StartUnit(options);
    EthernetDownloadJob job(folder.Write("b.bff", Pattern(3000)), Application, "127.0.0.1", *reporter,
                            unit->BoundPort());
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(WaitUntil([&] { return unit->Stats().blocksStored == 1; }));
    reporter->Cancel();
    ASSERT_TRUE(reporter->WaitFinished());
    EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{Establishing, StartDownloading, Cancelled}));
    EXPECT_TRUE(reporter->Progress().empty());
}

TEST_F(EthernetDownloadJobTest, StartRefusesWhileRunningAndTheJobMayGoFirst)
{
    UdpPeer silent;
    auto job = std::make_unique<EthernetDownloadJob>(folder.Write("a.bff", Pattern(10)), Application, "127.0.0.1",
                                                     *reporter, silent.port);
    EXPECT_FALSE(job->IsRunning());
    ASSERT_TRUE(job->Start());
    EXPECT_TRUE(job->IsRunning());
    EXPECT_FALSE(job->Start());
    ASSERT_TRUE(silent.Receive());
    // The main window deletes the previous job when the next download begins;
    // the worker must carry on with what it shares, not the job.
    job.reset();
    reporter->Cancel();
    ASSERT_TRUE(reporter->WaitFinished());
    EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{Establishing, Cancelled}));
}

TEST_F(EthernetDownloadJobTest, SurvivesAPoorNetworkBothWays)
{
    TftpServerOptions options = FastEnding();
    options.lossPercent = 5;
    options.duplicatePercent = 5;
    options.reorderPercent = 5;
    options.seed = 42;
    StartUnit(options);
    const auto bytes = Pattern(4 * 1024 * 1024, 11);
    Download(folder.Write("big.bff", bytes));
    EXPECT_EQ(reporter->Statuses().back(), Finished);
    EXPECT_TRUE(ReceivedBytes() == bytes);
    EXPECT_GT(unit->Stats().duplicateData, 0u);
}

} // namespace
