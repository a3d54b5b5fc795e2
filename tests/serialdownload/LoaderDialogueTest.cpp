#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "LoaderDialogue.h"
#include "PtyPair.h"
#include "TerminalFixture.h"

// The queries one by one, against the simulated terminal.
class LoaderDialogueTest : public TerminalFixture {};

TEST_F(LoaderDialogueTest, QueriesAnApploaderThatKnowsItsVersion)
{
    TerminalOptions options;
    options.firmwareVersion = "1.45";
    options.flowControlReply = 0x82;
    StartTerminal(options);
    OpenPort();
    LoaderDialogue dialogue(port);

    bool bootloader = true;
    ASSERT_TRUE(dialogue.QueryLoader(bootloader));
    EXPECT_FALSE(bootloader);
    float version = 0.0f;
    ASSERT_TRUE(dialogue.QueryFirmwareVersion(version));
    EXPECT_EQ(version, 1.45f);
    FlowControl type = FlowControl::None;
    ASSERT_TRUE(dialogue.QueryFlowControl(type));
    EXPECT_EQ(type, FlowControl::RtsCts);
    EXPECT_EQ(terminal->CountCommands("Q;W;Q;"), 1u);
}

TEST_F(LoaderDialogueTest, SilentTerminalAnswersNothingAndVersionIsAskedThreeTimes)
{
    TerminalOptions options;
    options.silent = true;
    StartTerminal(options);
    OpenPort();
    LoaderDialogue dialogue(port);

    bool bootloader = true;
    EXPECT_FALSE(dialogue.QueryLoader(bootloader));
    EXPECT_FALSE(bootloader);
    float version = 7.0f;
    EXPECT_FALSE(dialogue.QueryFirmwareVersion(version));
    FlowControl type = FlowControl::RtsCts;
    EXPECT_FALSE(dialogue.QueryFlowControl(type));
    EXPECT_FALSE(dialogue.StartApploader());
    EXPECT_TRUE(terminal->WaitForCommandCount("Q;W;Q;", LoaderDialogue::VersionAttempts, EventDeadline));
    EXPECT_EQ(terminal->CountCommands("Q;W;Q;"), 3u);
}

TEST_F(LoaderDialogueTest, ResetThatCannotReopenThePortStopsUsingIt)
{
    StartTerminal(TerminalOptions{});
    OpenPort();
    LoaderDialogue dialogue(port);
    terminal->Unplug();

    EXPECT_FALSE(dialogue.ResetToBootloader());
    EXPECT_TRUE(dialogue.ReopenFailed());
    bool bootloader = true;
    EXPECT_FALSE(dialogue.QueryLoader(bootloader));
    EXPECT_FALSE(dialogue.SendCommand("Q;"));
}

TEST_F(LoaderDialogueTest, AReplyBehindMoreThanOneReadOfTalkIsFoundAndNothingOfItIsLeft)
{
    // A terminal printing status lines at the line's full rate has more than
    // one read's worth ahead of its answer when the reply window ends.
    PtyPair line;
    ASSERT_TRUE(line.IsValid());
    // A second opener of the line's end, to see when the port has taken it all.
    const int watch = ::open(line.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(watch, 0);
    port = std::make_shared<SerialPort>();
    if (!port->Open(line.SlavePath(), 115200, 0, NoParity, OneStopBit, 8, FlowControl::None)) {
        ::close(watch);
        FAIL() << "cannot open " << line.SlavePath();
    }

    std::vector<uint8_t> talk;
    while (talk.size() < 1500) {
        const std::string status = "status " + std::to_string(talk.size()) + ": running, 41 C\r\n";
        talk.insert(talk.end(), status.begin(), status.end());
    }
    const uint8_t* marker = LoaderProtocol::BootloaderMarker;
    talk.insert(talk.end(), marker, marker + 2);
    line.Send(talk);
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // through the pseudo-terminal's buffer
    const bool taken = Eventually([&] {
        int waiting = -1;
        return ::ioctl(watch, FIONREAD, &waiting) == 0 && waiting == 0;
    });
    ::close(watch);
    ASSERT_TRUE(taken);

    LoaderDialogue dialogue(port);
    bool bootloader = false;
    EXPECT_TRUE(dialogue.QueryLoader(bootloader));
    EXPECT_TRUE(bootloader);
    EXPECT_EQ(line.Receive(2), (std::vector<uint8_t>{'Q', ';'}));
    uint8_t left[16];
    EXPECT_EQ(port->Read(left, sizeof left, 0), 0); // no answer left for the console to show later
}
