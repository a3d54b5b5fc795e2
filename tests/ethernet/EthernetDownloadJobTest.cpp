#include "DownloadTexts.h"
#include "EthernetDownloadJob.h"

#include "DownloadFile.h"
#include "TestSupport.h"
#include "TftpServer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <memory>

using namespace ethernettest;

namespace {

const std::string Establishing = "Establishing connection to 127.0.0.1...";
const std::string StartDownloading = "Start downloading...";
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
    EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{Establishing, StartDownloading, DownloadFinishedText}));
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
        EXPECT_EQ(reporter->Statuses().back(), DownloadFinishedText);
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
    EXPECT_EQ(reporter->Statuses().back(), DownloadFinishedText);
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
                                        "Initiating connection  please CANCEL", StartDownloading, DownloadFinishedText}));
    // Each answer is taken as it arrives, within its request's 100 ms, so the
    // unit sees no request beyond the three it refused and the one it took;
    // every one of them the 16 bytes a unit is sent.
    EXPECT_EQ(unit->Stats().requests, 4u);
    EXPECT_EQ(unit->Stats().errorsSent, 3u);
    EXPECT_EQ(unit->Stats().inexactRequests, 0u);
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

TEST_F(EthernetDownloadJobTest, StaleAcknowledgementsNeitherCountNorHoldBackTheResend)
{
    UdpPeer unitMain, unitReply;
    const auto bytes = Pattern(10);
    EthernetDownloadJob job(folder.Write("one.bff", bytes), Application, "127.0.0.1", *reporter, unitMain.port);
    ASSERT_TRUE(job.Start());
    const auto request = unitMain.Receive();
    ASSERT_TRUE(request);
    const uint16_t client = request->FromPort();
    unitReply.SendTo(client, Packet(4, 0));
    const auto data = unitMain.Receive();
    ASSERT_TRUE(data && data->Opcode() == 3 && data->Field() == 1);

    // A steady stream of stale ACK 0s: a client that took any ACK as a reason
    // to wait afresh would never send the block again.
    std::optional<Received> copy;
    for (int i = 0; i < 20000 && !copy; ++i) {
        unitReply.SendTo(client, Packet(4, 0));
        copy = unitMain.Receive(1ms);
    }
    ASSERT_TRUE(copy) << "the block was never sent again";
    EXPECT_EQ(copy->bytes, data->bytes);
    EXPECT_EQ(reporter->Finishes(), 0);
    unitReply.SendTo(client, Packet(4, 1));
    ASSERT_TRUE(reporter->WaitFinished());
    EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{Establishing, StartDownloading, DownloadFinishedText}));
    // Everything went to the unit's main port, nothing to the port it answered from.
    EXPECT_FALSE(unitReply.Receive(0ms));
}

TEST_F(EthernetDownloadJobTest, TheSenderOfAckZeroIsTheUnitFromThenOn)
{
    // The unit is asked at 127.0.0.2 and answers from 127.0.0.1, as a unit with
    // two addresses may; datagrams from a third port or address never count.
    UdpPeer unitMain("127.0.0.2");
    ASSERT_TRUE(unitMain.bound) << "127.0.0.2 must be a loopback address";
    UdpPeer unitReply("127.0.0.1");
    UdpPeer otherPort("127.0.0.1");
    UdpPeer otherHost("127.0.0.3", unitReply.port);
    ASSERT_TRUE(otherHost.bound);
    const auto bytes = Pattern(1500);
    EthernetDownloadJob job(folder.Write("a.bff", bytes), Application, "127.0.0.2", *reporter, unitMain.port);
    ASSERT_TRUE(job.Start());
    const auto request = unitMain.Receive();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->bytes, WriteRequest("bff.bff"));
    const uint16_t client = request->FromPort();
    unitReply.SendTo(client, Packet(4, 0));

    auto nextBlock = [&](uint16_t block) {
        std::optional<Received> d;
        do
            d = unitMain.Receive();
        while (d && d->Opcode() == 3 && d->Field() != block);
        return d;
    };
    const auto first = nextBlock(1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->bytes, Packet(3, 1, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 1024)));
    for (const UdpPeer* forger : {&otherPort, &otherHost}) {
        forger->SendTo(client, Packet(4, 1));
        forger->SendTo(client, Packet(4, 2));
        forger->SendTo(client, Packet(5, 2));
    }
    // Only copies of block 1 may follow the forgeries until the unit answers.
    while (const auto d = unitMain.Receive(300ms))
        ASSERT_EQ(d->bytes, first->bytes);
    unitReply.SendTo(client, Packet(4, 1));
    const auto second = nextBlock(2);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->bytes, Packet(3, 2, std::vector<uint8_t>(bytes.begin() + 1024, bytes.end())));
    unitReply.SendTo(client, Packet(4, 2));
    ASSERT_TRUE(reporter->WaitFinished());
    EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{"Establishing connection to 127.0.0.2...",
                                                              StartDownloading, DownloadFinishedText}));
}

TEST_F(EthernetDownloadJobTest, UnitAnsweringFromAnotherAddressCompletes)
{
    TftpServerOptions options = FastEnding();
    options.address = "127.0.0.2";
    options.transferAddress = "0.0.0.0"; // answers leave from 127.0.0.1, the route's source
    StartUnit(options);
    const auto bytes = Pattern(5000);
    Download(folder.Write("a.bin", bytes), Firmware, 0, "127.0.0.2");
    EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{"Establishing connection to 127.0.0.2...",
                                                              StartDownloading, DownloadFinishedText}));
    EXPECT_EQ(ReceivedBytes(), bytes);
}

TEST_F(EthernetDownloadJobTest, SlowUnitGetsHardlyAnyCopies)
{
    // A unit that handles one datagram at a time, each costing it 5 ms, with 8
    // receive buffers. Copies sent on a timer blind to that pace fill them and
    // cost the unit as much as the blocks themselves.
    TftpServerOptions options = FastEnding();
    options.datagramCostMs = 5;
    options.receiveQueue = 8;
    StartUnit(options);
    const auto bytes = Pattern(200 * 1024, 3);
    Download(folder.Write("slow.bff", bytes));
    EXPECT_EQ(reporter->Statuses().back(), DownloadFinishedText);
    EXPECT_TRUE(ReceivedBytes() == bytes);
    const auto stats = unit->Stats();
    EXPECT_EQ(stats.blocksStored, 200u);
    EXPECT_LE(stats.dataArrived, 300u) << "DATA packets for 200 blocks";
    EXPECT_EQ(stats.inexactRequests, 0u);
}

TEST_F(EthernetDownloadJobTest, FreshPortsAndMalformedDatagramsNeverCount)
{
    // Every answer late, so that the request is repeated and each repeat is
    // answered from a port of its own; the transfer stays with the first.
    TftpServerOptions options = FastEnding();
    options.freshPortPerRequest = true;
    options.malformed = true;
    options.delayPercent = 100;
    options.delayMs = 250;
    options.impairIncoming = false;
    StartUnit(options);
    const auto bytes = Pattern(3000);
    Download(folder.Write("a.bff", bytes));
    EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{Establishing, StartDownloading, DownloadFinishedText}));
    EXPECT_EQ(ReceivedBytes(), bytes);
    EXPECT_GE(unit->Stats().requests, 2u);
}

// True when a thread of this process sits in read(2) on a descriptor, other
// than `except`, that names `path`. A pseudo-terminal slave fails its reader
// with EIO only if the reader is waiting when the master closes; a later read
// sees end of file instead.
bool SomeThreadBlockedReading(const std::string& path, int except)
{
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return false;
    bool found = false;
    while (dirent* task = readdir(tasks)) {
        std::ifstream syscallFile(std::string("/proc/self/task/") + task->d_name + "/syscall");
        long number = -1;
        std::string fdText;
        if (!(syscallFile >> number >> fdText) || number != SYS_read)
            continue;
        const int fd = static_cast<int>(std::stol(fdText, nullptr, 16));
        char target[PATH_MAX] = {};
        const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
        if (fd != except && length > 0 && path == std::string(target, static_cast<size_t>(length)))
            found = true;
    }
    closedir(tasks);
    return found;
}

TEST_F(EthernetDownloadJobTest, ReadErrorPartWaySendsNoShortBlock)
{
    // A pseudo-terminal reads its bytes and then fails (EIO) once its other end
    // is closed: a file that breaks after its first block.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slavePath = ptsname(master);
    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    const auto bytes = Pattern(1500);
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));

    StartUnit();
    EthernetDownloadJob job(slavePath, Application, "127.0.0.1", *reporter, unit->BoundPort());
    ASSERT_TRUE(job.Start());
    ASSERT_TRUE(WaitUntil([&] { return unit->Stats().blocksStored == 1; }));
    // The job has taken the last 476 bytes and waits for more.
    ASSERT_TRUE(WaitUntil([&] { return SomeThreadBlockedReading(slavePath, slave); }));
    close(master);
    ASSERT_TRUE(reporter->WaitFinished());
    close(slave);
    EXPECT_EQ(reporter->Statuses(),
              (std::vector<std::string>{Establishing, StartDownloading,
                                        "Unable to read the file \"" + slavePath + "\". The download is incomplete."}));
    // The 476 bytes read before the failure never went out as a last block.
    ASSERT_TRUE(WaitUntil([&] { return unit->ReceivedFiles().size() == 1; }));
    EXPECT_EQ(unit->Stats().blocksStored, 1u);
    EXPECT_EQ(unit->ReceivedFiles()[0].bytes, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 1024));
}

TEST_F(EthernetDownloadJobTest, CancelEndsALongResendWait)
{
    UdpPeer unitMain, unitReply;
    EthernetDownloadJob job(folder.Write("a.bff", Pattern(10)), Application, "127.0.0.1", *reporter, unitMain.port);
    ASSERT_TRUE(job.Start());
    const auto request = unitMain.Receive();
    ASSERT_TRUE(request);
    unitReply.SendTo(request->FromPort(), Packet(4, 0));
    // The unit never acknowledges: each copy waits twice as long as the one
    // before, up to a second. After ten, the wait is long.
    int copies = 0;
    while (copies < 10) {
        const auto d = unitMain.Receive();
        ASSERT_TRUE(d);
        copies += d->Opcode() == 3;
    }
    reporter->Cancel();
    ASSERT_TRUE(reporter->WaitFinished());
    EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{Establishing, StartDownloading, Cancelled}));
    EXPECT_FALSE(unitMain.Receive(0ms)) << "a copy went out after Cancel";
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
    EXPECT_EQ(reporter->Statuses(), (std::vector<std::string>{Establishing, StartDownloading, DownloadFinishedText}));
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
    EXPECT_EQ(reporter->Statuses().back(), DownloadFinishedText);
    EXPECT_TRUE(ReceivedBytes() == bytes);
    EXPECT_GT(unit->Stats().duplicateData, 0u);
}

} // namespace
