#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "DownloadTexts.h"
#include "NotifyTarget.h"
#include "TerminalFixture.h"

namespace {

const std::string Cancelled = "User cancelled the program.";
const std::string NoFlowControl =
    "Unable to determine the flow control setting that the terminal is using.  Please reset the terminal and "
    "try again.";
const std::string NotInBootloader =
    "The terminal is not in the bootloader.  Please use the 'Induce Bootloader' function and cycle power to the "
    "terminal, in order to enter the bootloader.";
const std::string ConfigureTerminal = "Please configure the terminal to receive an application";

std::string Prepare(int com)
{
    return "Please prepare terminal for download on COM" + std::to_string(com);
}

std::string Downloading(const std::string& name)
{
    return "Downloading using " + name + " flow control";
}

std::vector<uint8_t> Tail(const std::vector<uint8_t>& bytes, size_t count)
{
    return std::vector<uint8_t>(bytes.end() - static_cast<std::ptrdiff_t>(std::min(count, bytes.size())),
                                bytes.end());
}

class CountingTarget : public NotifyTarget {
public:
    void Post(uint32_t message) override
    {
        if (message == WM_SERIAL_RECEIVED)
            received.fetch_add(1);
    }
    std::atomic<int> received{0};
};

} // namespace

// The typical exchanges, each ending with the file accepted by the terminal.
class SerialDownloadExchangeTest : public TerminalFixture {};

TEST_F(SerialDownloadExchangeTest, EmptyFirmwareToBootloaderCarriesTheBareFrame)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    StartTerminal(options);
    OpenPort();

    RunDownload(WriteFile("empty.bin", {}), Firmware);
    EXPECT_EQ(reporter.Statuses(),
              (std::vector<std::string>{Prepare(terminal->ComNumber()), Downloading("no"), DownloadFinishedText}));
    EXPECT_EQ(reporter.Progress(), (std::vector<int>{100}));
    ASSERT_TRUE(terminal->WaitForImage(EventDeadline));
    EXPECT_TRUE(terminal->Images().at(0).accepted) << terminal->Images().at(0).verdict;
    EXPECT_EQ(terminal->Commands(), (std::vector<std::string>{"Q;"}));
    EXPECT_EQ(Tail(LineBytes(), 12), (std::vector<uint8_t>{0x53, 0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
}

TEST_F(SerialDownloadExchangeTest, SmallFirmwareToBootloaderCarriesLengthComplementAndCrc)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    StartTerminal(options);
    OpenPort();

    RunDownload(WriteFile("abc.bin", {'a', 'b', 'c'}), Firmware);
    EXPECT_EQ(reporter.FinalStatus(), DownloadFinishedText);
    ASSERT_TRUE(terminal->WaitForImage(EventDeadline));
    EXPECT_TRUE(terminal->Images().at(0).accepted) << terminal->Images().at(0).verdict;
    EXPECT_EQ(Tail(LineBytes(), 15), (std::vector<uint8_t>{0x53, 0x2C, 0x00, 0x00, 0x00, 0x03, 0xFF, 0xFF, 0xFF,
                                                           0xFD, 0x61, 0x62, 0x63, 0x51, 0x4A}));
}

TEST_F(SerialDownloadExchangeTest, FirmwareToRecentApploaderUsesItsXonXoffWithEscaping)
{
    TerminalOptions options;
    options.firmwareVersion = "1.45";
    options.flowControlReply = 0x81;
    StartTerminal(options);
    OpenPort();

    // Every byte that needs escaping, several times over.
    std::vector<uint8_t> image = RandomBytes(3000, 7);
    image.insert(image.end(), {0x11, 0x13, 0xBF, 0xBF, 0x11});
    RunDownload(WriteFile("escaped.bin", image), Firmware);

    EXPECT_EQ(reporter.Statuses(),
              (std::vector<std::string>{Prepare(terminal->ComNumber()), Downloading("Xon/Xoff"), DownloadFinishedText}));
    EXPECT_EQ(terminal->Commands(), (std::vector<std::string>{"Q;", "Q;W;Q;", "F;"}));
    ReceivedImage received;
    ASSERT_TRUE(terminal->WaitForImage(EventDeadline, &received));
    EXPECT_TRUE(received.accepted) << received.verdict;
    EXPECT_EQ(received.kind, ReceivedImage::Kind::Firmware);
    EXPECT_TRUE(received.escaped);
    EXPECT_EQ(received.escapeErrors, 0u);
    EXPECT_GT(received.lineBytes, image.size() + 12);
    EXPECT_EQ(received.bytes, image);
}

TEST_F(SerialDownloadExchangeTest, FirmwareToOlderApploaderResetsIntoBootloaderAt115200)
{
    TerminalOptions options;
    options.firmwareVersion = "1.44";
    options.apploaderRate = 38400;
    StartTerminal(options);
    OpenPort(38400);

    const std::vector<uint8_t> image = RandomBytes(2000, 3);
    RunDownload(WriteFile("old.bin", image), Firmware);

    EXPECT_EQ(reporter.FinalStatus(), DownloadFinishedText);
    EXPECT_EQ(terminal->Commands(), (std::vector<std::string>{"Q;", "Q;W;Q;", "R;", "Q;", "Q;"}));
    ReceivedImage received;
    ASSERT_TRUE(terminal->WaitForImage(EventDeadline, &received));
    EXPECT_TRUE(received.accepted) << received.verdict;
    EXPECT_EQ(received.bytes, image);
    EXPECT_EQ(terminal->CurrentLoader(), TerminalLoader::Bootloader);
}

TEST_F(SerialDownloadExchangeTest, ApplicationToApploaderIsSentRawAndOutlivesTheWindowsPort)
{
    TerminalOptions options;
    options.flowControlReply = 0x80;
    const std::vector<uint8_t> file = RandomBytes(5000, 11);
    options.expectedImageSize = file.size();
    StartTerminal(options);
    OpenPort();

    StartDownload(WriteFile("app.bff", file), Application);
    // The window lets go of its port (as on Cancel) while the worker still uses it.
    port.reset();
    WaitForEnd();

    EXPECT_EQ(reporter.Statuses(),
              (std::vector<std::string>{Prepare(terminal->ComNumber()), Downloading("no"), DownloadFinishedText}));
    EXPECT_EQ(terminal->Commands(), (std::vector<std::string>{"Q;", "F;"}));
    ReceivedImage received;
    ASSERT_TRUE(terminal->WaitForImage(EventDeadline, &received));
    EXPECT_EQ(received.kind, ReceivedImage::Kind::Application);
    EXPECT_EQ(received.lineBytes, file.size());
    EXPECT_EQ(received.bytes, file);
}

TEST_F(SerialDownloadExchangeTest, ApplicationToBootloaderStartsTheApploaderFirst)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    options.flowControlReply = 0x82;
    const std::vector<uint8_t> file = RandomBytes(4000, 5);
    options.expectedImageSize = file.size();
    StartTerminal(options);
    OpenPort();

    RunDownload(WriteFile("app.bff", file), Application);

    EXPECT_EQ(reporter.Statuses(),
              (std::vector<std::string>{Prepare(terminal->ComNumber()), Downloading("RTS/CTS"), DownloadFinishedText}));
    EXPECT_EQ(terminal->Commands(), (std::vector<std::string>{"Q;", "A;", "Q;", "Q;", "F;"}));
    ReceivedImage received;
    ASSERT_TRUE(terminal->WaitForImage(EventDeadline, &received));
    EXPECT_EQ(received.bytes, file);
}

TEST_F(SerialDownloadExchangeTest, RefusedVersionCommandMeansOlderButAnIIsNoRefusal)
{
    TerminalOptions options;
    options.firmwareVersion = "1.50i";
    StartTerminal(options);
    OpenPort();
    RunDownload(WriteFile("fw.bin", RandomBytes(700, 1)), Firmware);
    EXPECT_EQ(reporter.FinalStatus(), DownloadFinishedText);
    EXPECT_EQ(terminal->CountCommands("R;"), 0u);
    EXPECT_EQ(terminal->CountCommands("F;"), 1u);
}

TEST_F(SerialDownloadExchangeTest, IllegalVersionReplyLeadsToTheBootloader)
{
    TerminalOptions options;
    options.firmwareVersion = "";
    StartTerminal(options);
    OpenPort();
    RunDownload(WriteFile("fw.bin", RandomBytes(700, 1)), Firmware);
    EXPECT_EQ(reporter.FinalStatus(), DownloadFinishedText);
    EXPECT_EQ(terminal->CountCommands("R;"), 1u);
    EXPECT_EQ(terminal->CountCommands("F;"), 0u);
    ASSERT_TRUE(terminal->WaitForImage(EventDeadline));
    EXPECT_TRUE(terminal->Images().at(0).accepted);
}

// A large random file arrives byte for byte at each flow control the terminal may name.
struct BulkCase {
    DownloadFileKind kind;
    int flowReply;
    const char* name;
};

class SerialDownloadBulkTest : public TerminalFixture, public ::testing::WithParamInterface<BulkCase> {};

TEST_P(SerialDownloadBulkTest, TwoHundredKilobytesArriveIntact)
{
    const BulkCase bulk = GetParam();
    const std::vector<uint8_t> file = RandomBytes(200 * 1024, static_cast<unsigned>(bulk.flowReply * 3 + bulk.kind));
    TerminalOptions options;
    options.flowControlReply = bulk.flowReply;
    if (bulk.kind == Application)
        options.expectedImageSize = file.size();
    StartTerminal(options);
    OpenPort();

    RunDownload(WriteFile(bulk.kind == Firmware ? "big.bin" : "big.bff", file), bulk.kind);
    EXPECT_EQ(reporter.Statuses(),
              (std::vector<std::string>{Prepare(terminal->ComNumber()), Downloading(bulk.name), DownloadFinishedText}));
    ReceivedImage received;
    ASSERT_TRUE(terminal->WaitForImage(FinishDeadline, &received));
    EXPECT_TRUE(received.accepted) << received.verdict;
    EXPECT_EQ(received.escapeErrors, 0u);
    EXPECT_EQ(received.bytes.size(), file.size());
    EXPECT_TRUE(received.bytes == file);
    const std::vector<int> progress = reporter.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100);
}

INSTANTIATE_TEST_SUITE_P(FlowControls, SerialDownloadBulkTest,
                         ::testing::Values(BulkCase{Firmware, 0x80, "no"}, BulkCase{Firmware, 0x81, "Xon/Xoff"},
                                           BulkCase{Firmware, 0x82, "RTS/CTS"},
                                           BulkCase{Application, 0x80, "no"},
                                           BulkCase{Application, 0x81, "Xon/Xoff"},
                                           BulkCase{Application, 0x82, "RTS/CTS"}),
                         [](const ::testing::TestParamInfo<BulkCase>& info) {
                             std::string name = info.param.kind == Firmware ? "Firmware" : "Application";
                             return name + std::to_string(info.param.flowReply - 0x80);
                         });

// How the download gives up, waits, or is stopped.
class SerialDownloadEndingTest : public TerminalFixture {};

TEST_F(SerialDownloadEndingTest, ProgressOfAHundredBlocks)
{
    TerminalOptions options;
    options.flowControlReply = 0x80;
    options.expectedImageSize = 100 * 512;
    StartTerminal(options);
    OpenPort();
    RunDownload(WriteFile("hundred.bff", RandomBytes(100 * 512, 9)), Application);

    std::vector<int> expected;
    for (int percent = 1; percent <= 99; percent += 2)
        expected.push_back(percent);
    expected.push_back(100);
    EXPECT_EQ(reporter.Progress(), expected);
    EXPECT_EQ(reporter.FinalStatus(), DownloadFinishedText);
}

TEST_F(SerialDownloadEndingTest, UnknownFlowControlGivesUpOnTheThirdPassAndGivesTheConsoleBack)
{
    TerminalOptions options;
    options.flowControlReply = 0x55;
    StartTerminal(options);
    OpenPort();
    CountingTarget window;
    ASSERT_TRUE(port->SetNotifyWindow(&window, NotifyReceived | NotifySent));

    RunDownload(WriteFile("app.bff", RandomBytes(100, 2)), Application);
    EXPECT_EQ(reporter.FinalStatus(), NoFlowControl);
    EXPECT_EQ(terminal->CountCommands("F;"), 9u);
    EXPECT_EQ(terminal->CountCommands("Q;"), 3u);
    EXPECT_TRUE(terminal->Images().empty());
    // The replies were the worker's: the window heard nothing of them.
    EXPECT_EQ(window.received.load(), 0);

    // Afterwards the console shows what the terminal sends again.
    const uint8_t query[] = {'Q', ';'};
    port->Write(query, sizeof query, true);
    EXPECT_TRUE(Eventually([&] { return window.received.load() > 0; }));
    port.reset(); // before the target goes out of scope
}

TEST_F(SerialDownloadEndingTest, ResetRefusedOnThreePassesAsksForInduction)
{
    TerminalOptions options;
    options.firmwareVersion = "1.44";
    options.refuseR = true;
    StartTerminal(options);
    OpenPort();
    RunDownload(WriteFile("fw.bin", RandomBytes(100, 2)), Firmware);
    EXPECT_EQ(reporter.FinalStatus(), NotInBootloader);
    EXPECT_EQ(terminal->CountCommands("R;"), 3u);
    EXPECT_EQ(terminal->CountCommands("F;"), 0u);
    EXPECT_TRUE(terminal->Images().empty());
}

TEST_F(SerialDownloadEndingTest, BootloaderRefusingTheApploaderKeepsPollingUntilCancel)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    options.refuseA = true;
    options.refuseB = true;
    StartTerminal(options);
    OpenPort();
    StartDownload(WriteFile("app.bff", RandomBytes(100, 2)), Application);

    ASSERT_TRUE(reporter.WaitForStatus(ConfigureTerminal, EventDeadline));
    ASSERT_TRUE(terminal->WaitForCommandCount("B;", 2, EventDeadline)) << "polling stopped";
    reporter.Cancel();
    WaitForEnd();
    EXPECT_EQ(reporter.FinalStatus(), Cancelled);
    EXPECT_EQ(reporter.FinishCount(), 1);
    EXPECT_EQ(terminal->CountCommands("F;"), 0u);
    EXPECT_TRUE(terminal->Images().empty());
}

TEST_F(SerialDownloadEndingTest, SilentTerminalIsPolledUntilCancel)
{
    TerminalOptions options;
    options.silent = true;
    StartTerminal(options);
    OpenPort();
    StartDownload(WriteFile("fw.bin", RandomBytes(100, 2)), Firmware);

    ASSERT_TRUE(terminal->WaitForCommandCount("Q;", 4, EventDeadline));
    reporter.Cancel();
    WaitForEnd();
    EXPECT_EQ(reporter.Statuses(), (std::vector<std::string>{Prepare(terminal->ComNumber()), Cancelled}));
    // One pause and one look at Cancel after every unanswered query: no query storm.
    const size_t checks = static_cast<size_t>(reporter.CancelChecks());
    // A silent terminal's log may trail the last query a little.
    EXPECT_TRUE(Eventually([&] { return terminal->CountCommands("Q;") >= checks; }));
    EXPECT_EQ(terminal->CountCommands("Q;"), checks);
    EXPECT_TRUE(reporter.Progress().empty());
}

TEST_F(SerialDownloadEndingTest, DeviceVanishingWhilePollingNamesThePort)
{
    TerminalOptions options;
    options.silent = true;
    StartTerminal(options);
    OpenPort();
    StartDownload(WriteFile("fw.bin", RandomBytes(100, 2)), Firmware);
    ASSERT_TRUE(terminal->WaitForCommandCount("Q;", 2, EventDeadline));
    terminal->Unplug();
    WaitForEnd();
    EXPECT_NE(reporter.FinalStatus().find("COM" + std::to_string(terminal->ComNumber()) + " was lost"),
              std::string::npos)
        << reporter.FinalStatus();
}

TEST_F(SerialDownloadEndingTest, MissingFileEndsAfterTheFlowControlMessage)
{
    TerminalOptions options;
    options.flowControlReply = 0x81;
    StartTerminal(options);
    OpenPort();
    const std::string path = (folder / "gone.bff").string();
    RunDownload(path, Application);
    EXPECT_EQ(reporter.Statuses(),
              (std::vector<std::string>{Prepare(terminal->ComNumber()), Downloading("Xon/Xoff"),
                                        "Unable to open file.  Please verify the file\n \"" + path + "\" exists."}));
}

TEST_F(SerialDownloadEndingTest, CancelWhileXoffHoldsTheLine)
{
    TerminalOptions options;
    options.flowControlReply = 0x81;
    options.xoffAfterBytes = 8 * 1024;
    options.xoffHoldMs = 600000; // never released within the test
    StartTerminal(options);
    OpenPort();
    StartDownload(WriteFile("held.bff", RandomBytes(64 * 1024, 4)), Application);

    ASSERT_TRUE(terminal->WaitForEvent(
        [](const TerminalEvent& event) { return event.kind == TerminalEvent::Kind::LineControl; }, EventDeadline));
    reporter.Cancel();
    WaitForEnd();
    EXPECT_EQ(reporter.FinalStatus(), Cancelled);
    EXPECT_EQ(reporter.FinishCount(), 1);
}

TEST_F(SerialDownloadEndingTest, DeviceVanishingMidTransferNamesThePort)
{
    TerminalOptions options;
    options.flowControlReply = 0x80;
    options.unplugAfterBytes = 20 * 1024;
    StartTerminal(options);
    OpenPort();
    RunDownload(WriteFile("gone.bff", RandomBytes(64 * 1024, 8)), Application);

    const std::string final = reporter.FinalStatus();
    EXPECT_NE(final, DownloadFinishedText);
    EXPECT_NE(final.find("COM" + std::to_string(terminal->ComNumber())), std::string::npos) << final;
    EXPECT_NE(final.find("lost"), std::string::npos) << final;
    const std::vector<int> progress = reporter.Progress();
    EXPECT_TRUE(std::find(progress.begin(), progress.end(), 100) == progress.end());
}

// Terminals as they are on the line: talking all the time, answering after the
// reply window, restarting slowly. The dialogue is written for them: a late
// reply is read with the next one, and polling waits out a restart.
class SerialDownloadRudeTerminalTest : public TerminalFixture {
protected:
    static TerminalOptions Rude()
    {
        TerminalOptions options;
        options.chatterIntervalMs = 2;
        options.chatterAlways = true;
        options.bootChatter = true;
        options.replyDelayMs = 150;
        options.restartMs = 800;
        return options;
    }
};

TEST_F(SerialDownloadRudeTerminalTest, FirmwareThroughASlowResetArrivesIntact)
{
    TerminalOptions options = Rude();
    options.firmwareVersion = "1.40";
    StartTerminal(options);
    OpenPort();
    const std::vector<uint8_t> image = RandomBytes(5000, 21);
    RunDownload(WriteFile("rude.bin", image), Firmware);
    EXPECT_EQ(reporter.FinalStatus(), DownloadFinishedText);
    EXPECT_GE(terminal->CountCommands("R;"), 1u);
    ReceivedImage received;
    ASSERT_TRUE(terminal->WaitForImage(EventDeadline, &received));
    EXPECT_TRUE(received.accepted) << received.verdict;
    EXPECT_EQ(received.bytes, image);
}

TEST_F(SerialDownloadRudeTerminalTest, ApplicationWithLateXonXoffReplyArrivesIntact)
{
    TerminalOptions options = Rude();
    options.flowControlReply = 0x81;
    StartTerminal(options);
    OpenPort();
    const std::vector<uint8_t> image = RandomBytes(5000, 22); // holds XON, XOFF and escape bytes
    RunDownload(WriteFile("rude.bff", image), Application);
    EXPECT_EQ(reporter.FinalStatus(), DownloadFinishedText);
    ReceivedImage received;
    ASSERT_TRUE(terminal->WaitForImage(EventDeadline, &received));
    EXPECT_TRUE(received.accepted) << received.verdict;
    EXPECT_TRUE(received.escaped);
    EXPECT_EQ(received.bytes, image);
}
