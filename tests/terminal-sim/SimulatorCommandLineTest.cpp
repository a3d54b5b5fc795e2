// The simulator program's command line: every option name people and scripts
// already use, the values each takes, and clear refusals of the rest.

#include "SimulatorCommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Outcome = SimulatorCommandLine::Outcome;

Outcome Parse(std::vector<std::string> arguments, SimulatorOptions& options, std::string* message = nullptr)
{
    std::string ignored;
    return SimulatorCommandLine::Parse(arguments, options, message ? message : &ignored);
}

// Every argument on its own is refused, with a reason, and leaves the options as they were.
void ExpectEachRefused(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments) {
        SCOPED_TRACE(argument);
        SimulatorOptions options;
        options.terminal.comNumber = 47;
        options.tftp.port = 6969;
        std::string message;
        EXPECT_EQ(Parse({argument}, options, &message), Outcome::Usage);
        EXPECT_FALSE(message.empty());
        EXPECT_EQ(options.terminal.comNumber, 47);
        EXPECT_EQ(options.tftp.port, 6969);
    }
}

TEST(SimulatorCommandLine, SerialSideOptions)
{
    SimulatorOptions options;
    std::string message;
    ASSERT_EQ(Parse({"--loader=boot", "--app-rate=38400", "--app-format=8e2", "--no-version", "--flow=82",
                     "--refuse=A,R", "--silent", "--com=41", "--xoff-after=100", "--pace", "--restart-ms=800",
                     "--induction=notice-only", "--power-up-ms=900", "--max-image=0", "--idle-ms", "250"},
                    options, &message),
              Outcome::Run)
        << message;
    const TerminalOptions& t = options.terminal;
    EXPECT_EQ(t.loaderAtStart, TerminalLoader::Bootloader);
    EXPECT_EQ(t.apploaderRate, 38400u);
    EXPECT_EQ(t.apploaderFormat, "8e2");
    EXPECT_TRUE(t.firmwareVersion.empty());
    EXPECT_EQ(t.flowControlReply, 0x82);
    EXPECT_TRUE(t.refuseA && t.refuseR && !t.refuseB && !t.refuseVersion);
    EXPECT_TRUE(t.silent && t.paceLine);
    EXPECT_EQ(t.comNumber, 41);
    EXPECT_EQ(t.xoffAfterBytes, 100u);
    EXPECT_EQ(t.restartMs, 800);
    EXPECT_EQ(t.inductionReply, InductionReply::NoticeOnly);
    EXPECT_EQ(t.powerUpWindowMs, 900);
    EXPECT_EQ(t.maxImageSize, 0u);
    EXPECT_EQ(t.imageIdleMs, 250); // the "--name VALUE" form works too

    for (auto [text, reply] : std::vector<std::pair<std::string, int>>{
             {"none", -1}, {"garbage", 'x'}, {"0x80", 0x80}, {"81", 0x81}, {"ff", 0xFF}}) {
        SimulatorOptions flow;
        ASSERT_EQ(Parse({"--flow=" + text}, flow), Outcome::Run) << text;
        EXPECT_EQ(flow.terminal.flowControlReply, reply) << text;
    }
    SimulatorOptions version;
    ASSERT_EQ(Parse({"--version=2.10", "--refuse=version"}, version), Outcome::Run);
    EXPECT_EQ(version.terminal.firmwareVersion, "2.10");
    EXPECT_TRUE(version.terminal.refuseVersion);

    ExpectEachRefused({"--app-format=7n1", "--flow=1FF", "--flow=", "--com=0", "--com=256", "--refuse=X",
                       "--restart-ms=-5", "--loader=on", "--app-rate=49", "--version=", "--induction=maybe",
                       "--xoff-after=0"});
    ASSERT_EQ(Parse({"--no-version", "--version=1.2"}, version), Outcome::Run);
    EXPECT_TRUE(version.terminal.firmwareVersion.empty());
}

TEST(SimulatorCommandLine, RudeTerminalAndConsoleTrafficOptions)
{
    SimulatorOptions options;
    std::string message;
    ASSERT_EQ(Parse({"--chatter-ms=0.5", "--chatter-always", "--boot-chatter", "--reply-delay-ms=150",
                     "--no-line-check", "--unplug-after-ms=3000", "--stream=5000000", "--stream-mix=mixed"},
                    options, &message),
              Outcome::Run)
        << message;
    const TerminalOptions& t = options.terminal;
    EXPECT_DOUBLE_EQ(t.chatterIntervalMs, 0.5);
    EXPECT_TRUE(t.chatterAlways && t.bootChatter && !t.checkLineFlow);
    EXPECT_EQ(t.replyDelayMs, 150);
    EXPECT_EQ(t.unplugAfterMs, 3000);
    EXPECT_EQ(t.streamBytes, 5000000u);
    EXPECT_TRUE(t.streamMixed);
    ASSERT_EQ(Parse({"--stream-mix=text"}, options), Outcome::Run);
    EXPECT_FALSE(options.terminal.streamMixed);

    ExpectEachRefused({"--chatter-ms=", "--chatter-ms=fast", "--chatter-ms=0", "--reply-delay-ms=-1",
                       "--stream=0", "--stream-mix=binary", "--unplug-after-ms=0"});
}

TEST(SimulatorCommandLine, TftpServerOptions)
{
    SimulatorOptions options;
    std::string message;
    ASSERT_EQ(Parse({"--tftp-address=127.0.0.5", "--tftp-port=6969", "--tftp-request-error=3",
                     "--tftp-request-error-count=4", "--tftp-data-error=2", "--tftp-data-error-block=70000",
                     "--tftp-ack-delay-ms=5", "--tftp-loss=2.5", "--tftp-reorder=5", "--tftp-impair=in",
                     "--tftp-seed=99", "--tftp-verbose", "--tftp-datagram-cost-ms=2.5", "--tftp-receive-queue=8",
                     "--tftp-transfer-address=0.0.0.0", "--tftp-fresh-port", "--tftp-malformed=1",
                     "--tftp-exact-request=yes", "--tftp-end-idle-ms=300"},
                    options, &message),
              Outcome::Run)
        << message;
    const TftpServerOptions& o = options.tftp;
    EXPECT_EQ(o.address, "127.0.0.5");
    EXPECT_EQ(o.port, 6969);
    EXPECT_EQ(o.requestErrorCode, 3);
    EXPECT_EQ(o.requestErrorCount, 4);
    EXPECT_EQ(o.dataErrorCode, 2);
    EXPECT_EQ(o.dataErrorBlock, 70000u);
    EXPECT_EQ(o.ackDelayMs, 5);
    EXPECT_DOUBLE_EQ(o.lossPercent, 2.5);
    EXPECT_DOUBLE_EQ(o.reorderPercent, 5);
    EXPECT_TRUE(o.impairIncoming);
    EXPECT_FALSE(o.impairOutgoing);
    EXPECT_EQ(o.seed, 99u);
    EXPECT_TRUE(o.verbose);
    EXPECT_DOUBLE_EQ(o.datagramCostMs, 2.5);
    EXPECT_EQ(o.receiveQueue, 8);
    EXPECT_EQ(o.transferAddress, "0.0.0.0");
    EXPECT_TRUE(o.freshPortPerRequest && o.malformed && o.exactRequest);
    EXPECT_EQ(o.endIdleMs, TftpServerOptions::MinEndIdleMs);

    SimulatorOptions off;
    ASSERT_EQ(Parse({"--tftp-malformed=no", "--tftp-impair=out"}, off), Outcome::Run);
    EXPECT_FALSE(off.tftp.malformed);
    EXPECT_FALSE(off.tftp.impairIncoming);
    EXPECT_TRUE(off.tftp.impairOutgoing);

    ExpectEachRefused({"--tftp-port=65536", "--tftp-port=", "--tftp-port=1x", "--tftp-loss=101",
                       "--tftp-end-idle-ms=100", "--tftp-address=host", "--tftp-impair=sideways",
                       "--tftp-data-error-block=0", "--tftp-colour=red", "--tftp-datagram-cost-ms=-1",
                       "--tftp-receive-queue=x", "--tftp-malformed=maybe", "--tftp-transfer-address=any",
                       "--port=5"});
}

TEST(SimulatorCommandLine, ProgramOptionsHelpAndUnknownArguments)
{
    SimulatorOptions options;
    ASSERT_EQ(Parse({"--no-tftp", "--verbose", "--ready-file=/tmp/ready", "--save-dir", "/tmp/images", "--com=44"},
                    options),
              Outcome::Run);
    EXPECT_FALSE(options.tftpEnabled);
    EXPECT_TRUE(options.verbose);
    EXPECT_EQ(options.readyFile, "/tmp/ready");
    EXPECT_EQ(options.saveDir, "/tmp/images");
    EXPECT_EQ(options.terminal.comNumber, 44);
    EXPECT_TRUE(SimulatorOptions{}.tftpEnabled);
    ASSERT_EQ(Parse({"--com=44", "--com=45"}, options), Outcome::Run);
    EXPECT_EQ(options.terminal.comNumber, 45);

    std::string message;
    ASSERT_EQ(Parse({"--com=44", "--help"}, options, &message), Outcome::Help);
    for (const char* option : {"--ready-file", "--loader", "--chatter-always", "--power-cycle-on-induce",
                               "--stream-mix", "--tftp-ack-delay-ms", "--tftp-verbose", "SIGUSR2"})
        EXPECT_NE(message.find(option), std::string::npos) << option;
    EXPECT_EQ(message, SimulatorCommandLine::HelpText());
    EXPECT_EQ(Parse({"-h"}, options), Outcome::Help);

    EXPECT_EQ(Parse({"--bogus"}, options, &message), Outcome::Usage);
    EXPECT_NE(message.find("--bogus"), std::string::npos) << message;
    EXPECT_EQ(Parse({"stray"}, options, &message), Outcome::Usage);
    EXPECT_NE(message.find("stray"), std::string::npos) << message;
}

} // namespace
