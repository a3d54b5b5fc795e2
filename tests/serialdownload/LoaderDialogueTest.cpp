#include <gtest/gtest.h>

#include "LoaderDialogue.h"
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
