#include <signal.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "CliFixture.h"
#include "PtyPair.h"
#include "UserFolders.h"

namespace {

std::vector<uint8_t> LineBytes(const TerminalSimulator& terminal)
{
    std::vector<uint8_t> bytes;
    for (const TerminalEvent& event : terminal.Events())
        if (event.kind == TerminalEvent::Kind::Received)
            bytes.insert(bytes.end(), event.bytes.begin(), event.bytes.end());
    return bytes;
}

} // namespace

class CliConsoleTest : public CliFixture {
protected:
    // A far end the test writes to itself, under a COM name of its own.
    std::string PublishAlias(const PtyPair& pty, int number)
    {
        const std::filesystem::path folder = UserFolders::ComAliasFolder();
        std::filesystem::create_directories(folder);
        std::filesystem::create_symlink(pty.SlavePath(), folder / ("COM" + std::to_string(number)));
        return "COM" + std::to_string(number);
    }
};

TEST_F(CliConsoleTest, PortsListsTheSimulatedTerminalWithItsDeviceAndANetworkPortWithItsAddress)
{
    TerminalSimulator& terminal = StartTerminal({});
    const std::filesystem::path aliases = UserFolders::ComAliasFolder();
    std::filesystem::create_directories(aliases);
    std::filesystem::create_symlink("rfc2217://10.0.0.5:4001", aliases / "COM70");

    CliProcess table({"ports"});
    Finish(table);
    EXPECT_EQ(table.ExitCode(), 0) << table.Err();
    EXPECT_NE(SummaryRow(table.Out(), terminal.ComName()).find(terminal.SlavePath()), std::string::npos)
        << table.Out();
    EXPECT_NE(SummaryRow(table.Out(), "COM70").find("rfc2217://10.0.0.5:4001"), std::string::npos) << table.Out();

    CliProcess json({"ports", "--json"});
    Finish(json);
    std::map<std::string, nlohmann::json> listed;
    for (const std::string& line : Lines(json.Out())) {
        const nlohmann::json port = nlohmann::json::parse(line);
        listed[port.at("port")] = port;
    }
    ASSERT_EQ(listed.count(terminal.ComName()), 1u) << json.Out();
    EXPECT_EQ(listed[terminal.ComName()].at("device"), terminal.SlavePath());
    EXPECT_FALSE(listed[terminal.ComName()].contains("usb"));
    ASSERT_EQ(listed.count("COM70"), 1u) << json.Out();
    EXPECT_EQ(listed["COM70"].at("device"), "rfc2217://10.0.0.5:4001");
}

TEST_F(CliConsoleTest, SendWritesTheTextWithItsEscapes)
{
    TerminalOptions boot;
    boot.loaderAtStart = TerminalLoader::Bootloader;
    TerminalSimulator& terminal = StartTerminal(boot);

    CliProcess cli({"send", "--port", terminal.ComName(), "Q;\\x41\\x0d"});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 0) << cli.Err();
    ASSERT_TRUE(terminal.WaitForCommandCount("Q;", 1, EventDeadline));
    const std::vector<uint8_t> expected = {'Q', ';', 'A', 0x0D};
    for (auto end = std::chrono::steady_clock::now() + EventDeadline;
         LineBytes(terminal).size() < expected.size() && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(LineBytes(terminal), expected);
}

TEST_F(CliConsoleTest, MonitorRendersTagsAndLabelsOrPassesTheBytesRaw)
{
    const std::vector<uint8_t> sent = {'A', 'B', '\r', '\n', 0x01, 0xAA, 0x55, 'C'};

    PtyPair rendered;
    ASSERT_TRUE(rendered.IsValid());
    CliProcess cli({"monitor", "--port", PublishAlias(rendered, 71)});
    ASSERT_TRUE(cli.WaitForErr("Listening on COM71", EventDeadline)) << cli.Err();
    rendered.Send(sent);
    ASSERT_TRUE(cli.WaitForOut("<In Bootloader>\nC", EventDeadline)) << cli.Out();
    cli.Signal(SIGINT);
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 3);
    // Not a terminal: no colours.
    EXPECT_EQ(cli.Out(), "AB\n<01><In Bootloader>\nC\n");

    PtyPair raw;
    ASSERT_TRUE(raw.IsValid());
    CliProcess rawCli({"monitor", "--port", PublishAlias(raw, 72), "--raw", "--timeout", "2"});
    ASSERT_TRUE(rawCli.WaitForErr("Listening on COM72", EventDeadline)) << rawCli.Err();
    raw.Send(sent);
    Finish(rawCli);
    EXPECT_EQ(rawCli.ExitCode(), 0) << rawCli.Err();
    EXPECT_EQ(rawCli.Out(), std::string(sent.begin(), sent.end()));
}

TEST_F(CliConsoleTest, InduceBringsAPoweredUpTerminalIntoItsBootloader)
{
    TerminalOptions off;
    off.loaderAtStart = TerminalLoader::Off;
    off.powerCycleOnInduceMs = 100; // stands in for the operator at the power switch
    TerminalSimulator& terminal = StartTerminal(off);

    CliProcess cli({"induce", "--port", terminal.ComName(), "--timeout", "30"});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 0) << cli.Err();
    EXPECT_NE(cli.Err().find("cycle its power"), std::string::npos) << cli.Err();
    EXPECT_NE(cli.Out().find("NOTICE"), std::string::npos) << cli.Out();
    EXPECT_NE(cli.Out().find("Entering"), std::string::npos) << cli.Out();
    EXPECT_NE(cli.Out().find("Bootloader entered!\n"), std::string::npos) << cli.Out();
    EXPECT_EQ(terminal.CurrentLoader(), TerminalLoader::Bootloader);
    EXPECT_TRUE(terminal.WaitForCommandCount("q;", 1, EventDeadline));
}

TEST_F(CliConsoleTest, InduceAgainstASilentTerminalTimesOutAsJson)
{
    TerminalOptions quiet;
    quiet.silent = true;
    TerminalSimulator& terminal = StartTerminal(quiet);

    CliProcess cli({"induce", "--port", terminal.ComName(), "--timeout", "0.5", "--json"});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 4) << cli.Err();
    const nlohmann::json result = nlohmann::json::parse(cli.Out());
    EXPECT_EQ(result.at("outcome"), "timeout");
    EXPECT_EQ(result.at("text"), "Bootloader not entered!");
    EXPECT_GE(terminal.CountCommands("IIIII"), 1u);
}
