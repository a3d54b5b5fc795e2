#include <signal.h>

#include <fstream>
#include <map>
#include <thread>
#include <nlohmann/json.hpp>

#include "DownloadTexts.h"
#include "CliFixture.h"
#include "Ser2netServer.h"

namespace {

const std::string NotInBootloader =
    "The terminal is not in the bootloader.  Please use the 'Induce Bootloader' function and cycle power to the "
    "terminal, in order to enter the bootloader.";

// What can be on its way to a terminal when a cancel is seen: the kernel's
// buffer of the pseudo-terminal, the port's transmit ring and one block.
constexpr size_t InFlightLimit = 16 * 1024;

} // namespace

class CliDownloadTest : public CliFixture {};

TEST_F(CliDownloadTest, FirmwareToBootloaderArrivesByteForByte)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    TerminalSimulator& terminal = StartTerminal(options);
    const std::vector<uint8_t> image = RandomBytes(5000, 1);

    CliProcess cli({"download", WriteFile("fw.bin", image), "--port", terminal.ComName()});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 0) << cli.Err();
    ReceivedImage received;
    ASSERT_TRUE(terminal.WaitForImage(EventDeadline, &received));
    EXPECT_TRUE(received.accepted) << received.verdict;
    EXPECT_EQ(received.bytes, image);
    EXPECT_NE(SummaryRow(cli.Out(), terminal.ComName()).find(DownloadFinishedText), std::string::npos) << cli.Out();
    // Not a terminal: plain status lines on stderr, no escape codes anywhere.
    EXPECT_NE(cli.Err().find(terminal.ComName() + ": Downloading using no flow control"), std::string::npos)
        << cli.Err();
    EXPECT_EQ((cli.Out() + cli.Err()).find('\x1b'), std::string::npos);
}

TEST_F(CliDownloadTest, ApplicationToApploaderWithXonXoffByDevicePath)
{
    const std::vector<uint8_t> image = RandomBytes(6000, 2);
    TerminalOptions options;
    options.flowControlReply = 0x81;
    options.expectedImageSize = image.size();
    TerminalSimulator& terminal = StartTerminal(options);

    // The alias is a per-user COM name; its device path resolves back to it.
    CliProcess cli({"download", WriteFile("app.bff", image), "--port", terminal.SlavePath()});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 0) << cli.Err();
    ReceivedImage received;
    ASSERT_TRUE(terminal.WaitForImage(EventDeadline, &received));
    EXPECT_TRUE(received.escaped);
    EXPECT_EQ(received.escapeErrors, 0u);
    EXPECT_EQ(received.bytes, image);
    EXPECT_NE(cli.Err().find("Downloading using Xon/Xoff flow control"), std::string::npos) << cli.Err();
}

TEST_F(CliDownloadTest, ADeviceServersPortTakesAFirmwareByItsAddress)
{
    if (!Ser2netServer::Installed())
        GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh test)";
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    TerminalSimulator& terminal = StartTerminal(options);
    Ser2netServer server;
    std::string error;
    ASSERT_TRUE(server.Start(terminal.SlavePath(), folders.Root(), &error)) << error;
    const std::vector<uint8_t> image = RandomBytes(4000, 4);

    CliProcess cli({"download", WriteFile("fw.bin", image), "--port", server.Url()});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 0) << cli.Err();
    ReceivedImage received;
    ASSERT_TRUE(terminal.WaitForImage(EventDeadline, &received));
    EXPECT_TRUE(received.accepted) << received.verdict;
    EXPECT_EQ(received.bytes, image);
    EXPECT_NE(SummaryRow(cli.Out(), server.Url()).find(DownloadFinishedText), std::string::npos) << cli.Out();

    // Its record names the address, for want of a COM name.
    std::ifstream log(folders.Root() / "data" / "Vennix" / "downloads.jsonl");
    std::string line;
    ASSERT_TRUE(std::getline(log, line));
    const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
    EXPECT_EQ(record.value("port", ""), server.Url()) << line;
    EXPECT_EQ(record.value("device", ""), server.Url()) << line;
}

TEST_F(CliDownloadTest, EthernetDownloadArrivesByteForByte)
{
    TftpServer& unit = StartTftp();
    const std::vector<uint8_t> image = RandomBytes(3000, 3);

    CliProcess cli({"download", WriteFile("app.bff", image), "--ip", "127.0.0.1", "--tftp-port",
                    std::to_string(unit.BoundPort())});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 0) << cli.Err();
    const auto files = unit.ReceivedFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "bff.bff");
    EXPECT_EQ(files[0].bytes, image);
    EXPECT_NE(SummaryRow(cli.Out(), "127.0.0.1").find(DownloadFinishedText), std::string::npos) << cli.Out();
}

TEST_F(CliDownloadTest, ThreeTargetsAtOnceAllFinishWithOneSummary)
{
    const std::vector<uint8_t> image = RandomBytes(4000, 4);
    TerminalOptions boot;
    boot.loaderAtStart = TerminalLoader::Bootloader;
    TerminalSimulator& first = StartTerminal(boot);
    TerminalSimulator& second = StartTerminal(boot);
    TftpServer& unit = StartTftp();

    CliProcess cli({"download", WriteFile("fw.bin", image), "--port", first.ComName(), "--ip", IpTarget(unit),
                    "--port", second.ComName()});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 0) << cli.Err();
    const std::vector<std::string> lines = Lines(cli.Out());
    ASSERT_EQ(lines.size(), 4u) << cli.Out();
    EXPECT_EQ(lines[0].rfind("TARGET", 0), 0u);
    // In the order given, each with the whole file.
    const std::vector<std::string> order = {first.ComName(), IpTarget(unit), second.ComName()};
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(lines[i + 1].rfind(order[i] + " ", 0), 0u) << lines[i + 1];
        EXPECT_NE(lines[i + 1].find(DownloadFinishedText), std::string::npos) << lines[i + 1];
        EXPECT_NE(lines[i + 1].find(" 4000 "), std::string::npos) << lines[i + 1];
    }
    for (TerminalSimulator* terminal : {&first, &second}) {
        ReceivedImage received;
        ASSERT_TRUE(terminal->WaitForImage(EventDeadline, &received));
        EXPECT_EQ(received.bytes, image);
    }
    ASSERT_EQ(unit.ReceivedFiles().size(), 1u);
    EXPECT_EQ(unit.ReceivedFiles()[0].bytes, image);
}

TEST_F(CliDownloadTest, OneFailingTargetGivesExitOneWhileTheOthersFinish)
{
    const std::vector<uint8_t> image = RandomBytes(3000, 5);
    TerminalOptions stubborn;
    stubborn.firmwareVersion = "1.20"; // too old for a frame: needs the bootloader
    stubborn.refuseR = true;
    TerminalSimulator& refusing = StartTerminal(stubborn);
    TerminalOptions boot;
    boot.loaderAtStart = TerminalLoader::Bootloader;
    TerminalSimulator& willing = StartTerminal(boot);
    TftpServer& unit = StartTftp();

    CliProcess cli({"download", WriteFile("fw.bin", image), "--port", refusing.ComName(), "--port",
                    willing.ComName(), "--ip", IpTarget(unit)});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 1) << cli.Err();
    EXPECT_NE(SummaryRow(cli.Out(), refusing.ComName()).find(NotInBootloader), std::string::npos) << cli.Out();
    EXPECT_NE(SummaryRow(cli.Out(), willing.ComName()).find(DownloadFinishedText), std::string::npos) << cli.Out();
    EXPECT_NE(SummaryRow(cli.Out(), IpTarget(unit)).find(DownloadFinishedText), std::string::npos) << cli.Out();
    ReceivedImage received;
    ASSERT_TRUE(willing.WaitForImage(EventDeadline, &received));
    EXPECT_EQ(received.bytes, image);
    EXPECT_GE(refusing.CountCommands("R;"), 2u);
}

TEST_F(CliDownloadTest, TimeoutEndsASilentTerminalWithItsOwnText)
{
    TerminalOptions quiet;
    quiet.silent = true;
    TerminalSimulator& terminal = StartTerminal(quiet);

    CliProcess cli({"download", WriteFile("fw.bin", RandomBytes(100, 6)), "--port", terminal.ComName(),
                    "--timeout", "0.5"});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 4) << cli.Err();
    const std::string row = SummaryRow(cli.Out(), terminal.ComName());
    EXPECT_NE(row.find("Not finished within 0.5 seconds (--timeout)"), std::string::npos) << cli.Out();
    // Nobody cancelled: the job's cancel text is not passed on.
    EXPECT_EQ(cli.Err().find("User cancelled"), std::string::npos) << cli.Err();
}

TEST_F(CliDownloadTest, InterruptMidTransferCancelsThroughTheJobAndSendsNothingMore)
{
    const std::vector<uint8_t> image = RandomBytes(64 * 1024, 7);
    TerminalOptions paced;
    paced.loaderAtStart = TerminalLoader::Bootloader;
    paced.paceLine = true; // about 11.5 kB/s: the transfer takes several seconds
    TerminalSimulator& terminal = StartTerminal(paced);
    TftpServerOptions slow;
    slow.ackDelayMs = 100;
    TftpServer& unit = StartTftp(slow);

    CliProcess cli({"download", WriteFile("fw.bin", image), "--port", terminal.ComName(), "--ip", IpTarget(unit),
                    "--json"});
    const auto end = std::chrono::steady_clock::now() + EventDeadline;
    while (ReceivedCount(terminal) < 8 * 1024 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_GE(ReceivedCount(terminal), 8 * 1024u) << cli.Out() << cli.Err();
    const size_t atSignal = ReceivedCount(terminal);
    cli.Signal(SIGINT);
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 3) << cli.Err();

    // After each target's cancel text only its result follows.
    std::map<std::string, std::vector<nlohmann::json>> byTarget;
    for (const std::string& line : Lines(cli.Out())) {
        const nlohmann::json event = nlohmann::json::parse(line);
        byTarget[event.at("target").get<std::string>()].push_back(event);
    }
    const std::map<std::string, std::string> cancelText = {{terminal.ComName(), "User cancelled the program."},
                                                           {IpTarget(unit), "User cancelled this program"}};
    for (const auto& [target, text] : cancelText) {
        const auto& events = byTarget[target];
        ASSERT_GE(events.size(), 2u) << target << "\n" << cli.Out();
        EXPECT_EQ(events[events.size() - 2].value("text", ""), text) << target << "\n" << cli.Out();
        EXPECT_EQ(events.back().at("event"), "result");
        EXPECT_EQ(events.back().at("outcome"), "cancelled") << target << "\n" << cli.Out();
        EXPECT_LT(events.back().at("bytes").get<int64_t>(), static_cast<int64_t>(image.size()));
    }
    // Writing stopped at the cancel: once the bytes already on their way (the
    // pseudo-terminal's buffer, the port's ring, one block) have been read, the
    // line goes quiet far short of the image.
    size_t settled = ReceivedCount(terminal);
    for (auto end = std::chrono::steady_clock::now() + EventDeadline; std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const size_t now = ReceivedCount(terminal);
        if (now == settled)
            break;
        settled = now;
    }
    EXPECT_LT(settled, atSignal + InFlightLimit) << "at the signal " << atSignal << ", settled at " << settled;
    EXPECT_TRUE(terminal.Images().empty() || !terminal.Images()[0].accepted);
    // The unit counts a transfer that went quiet as ended; it must be short.
    for (const TftpReceivedFile& file : unit.ReceivedFiles())
        EXPECT_LT(file.size, image.size());
}

TEST_F(CliDownloadTest, JsonLinesAllParseAndEndWithOneResultPerTarget)
{
    const std::vector<uint8_t> image = RandomBytes(20000, 8);
    TerminalOptions boot;
    boot.loaderAtStart = TerminalLoader::Bootloader;
    TerminalSimulator& terminal = StartTerminal(boot);
    TftpServer& unit = StartTftp();

    CliProcess cli({"download", WriteFile("fw.bin", image), "--port", terminal.ComName(), "--ip", IpTarget(unit),
                    "--json"});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 0) << cli.Err();
    std::map<std::string, int> results;
    std::map<std::string, bool> endedWithResult;
    std::map<std::string, int> lastPercent;
    for (const std::string& line : Lines(cli.Out())) {
        nlohmann::json event;
        ASSERT_NO_THROW(event = nlohmann::json::parse(line)) << line;
        const std::string target = event.at("target").get<std::string>();
        const std::string kind = event.at("event").get<std::string>();
        ASSERT_TRUE(kind == "status" || kind == "progress" || kind == "result") << line;
        EXPECT_EQ(results[target], 0) << "an event after the result: " << line;
        if (kind == "progress") {
            EXPECT_GE(event.at("percent").get<int>(), lastPercent[target]) << line;
            lastPercent[target] = event.at("percent").get<int>();
            EXPECT_EQ(event.at("total"), image.size());
        }
        if (kind == "result") {
            ++results[target];
            EXPECT_EQ(event.at("outcome"), "finished") << line;
            EXPECT_EQ(event.at("text"), DownloadFinishedText);
            EXPECT_EQ(event.at("bytes"), image.size());
            EXPECT_GT(event.at("rate").get<double>(), 0.0);
        }
    }
    EXPECT_EQ(results, (std::map<std::string, int>{{terminal.ComName(), 1}, {IpTarget(unit), 1}}));
}

TEST_F(CliDownloadTest, RefusedFilesAndTargetsGiveExitTwoBeforeAnythingIsSent)
{
    TerminalOptions boot;
    boot.loaderAtStart = TerminalLoader::Bootloader;
    TerminalSimulator& terminal = StartTerminal(boot);
    const std::string firmware = WriteFile("fw.bin", RandomBytes(100, 9));
    const std::string port = terminal.ComName();

    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"download", firmware, "--port", port, "--colour"}, "--colour"},
        {{"download", (folders.Root() / "missing.bin").string(), "--port", port}, "missing.bin: no such file"},
        {{"download", WriteFile("notes.txt", {'x'}), "--port", port}, "Unrecognizeable file type"},
        {{"download", firmware}, "at least one target"},
        {{"download", firmware, "--port", port, "--ip", "192.168.1"}, "is no IPv4 address"},
        {{"download", firmware, "--port", port, "--ip", "0.0.0.0"}, "0.0.0.0"},
        {{"download", firmware, "--port", port, "--port", port}, "named twice"},
        {{"download", firmware, "--port", "ttyUSB0"}, "is no serial port"},
        {{"download", firmware, "--port", port, "--baud", "12345"}, "--baud"},
        {{"download", firmware, "--port", port, "--port", "COM199"}, "COM199 is not present"},
        {{"launch"}, "launch"},
    };
    for (const auto& [arguments, message] : cases) {
        CliProcess cli(arguments);
        Finish(cli);
        EXPECT_EQ(cli.ExitCode(), 2) << arguments.back() << "\n" << cli.Err();
        EXPECT_NE(cli.Err().find(message), std::string::npos) << cli.Err();
        EXPECT_TRUE(cli.Out().empty()) << cli.Out();
    }
    EXPECT_EQ(ReceivedCount(terminal), 0u) << "a refused run sent something";
}
