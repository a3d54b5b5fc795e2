#include "BootloaderInduction.h"
#include "TerminalFixture.h"

#include <cstring>

namespace {

class BootloaderInductionTest : public TerminalFixture {
protected:
    BootloaderInduction induction{[this](const uint8_t* bytes, int count) { shown.insert(shown.end(), bytes, bytes + count); }};
    std::vector<uint8_t> shown;

    // Runs a step round after round, as the dialog does, until it succeeds or the deadline.
    template <typename Step> bool Repeat(Step step)
    {
        return Eventually([&] {
            if ((induction.*step)(*port))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            return false;
        });
    }
    bool InduceUntilNotice() { return Repeat(&BootloaderInduction::Induce); }
    bool ConfirmUntilEntering() { return Repeat(&BootloaderInduction::Confirm); }
};

TEST_F(BootloaderInductionTest, ABootloaderIsRecognisedAtOnceWithoutInducing)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    StartTerminal(options);
    OpenPort();
    EXPECT_EQ(induction.Probe(*port), BootloaderInduction::ProbeResult::InBootloader);
    EXPECT_EQ(shown, (std::vector<uint8_t>{0xAA, 0x55}));
    EXPECT_EQ(terminal->CountCommands("IIIII"), 0u);
}

TEST_F(BootloaderInductionTest, AnApploaderIsResetAndThenFound)
{
    StartTerminal(TerminalOptions{});
    OpenPort();
    EXPECT_EQ(induction.Probe(*port), BootloaderInduction::ProbeResult::ResetSent);
    EXPECT_TRUE(terminal->WaitForCommandCount("R;", 1, EventDeadline));
    EXPECT_EQ(induction.Probe(*port), BootloaderInduction::ProbeResult::InBootloader);
}

TEST_F(BootloaderInductionTest, ASilentTerminalIsInducedWhileItsPowerCycles)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Off;
    options.powerCycleOnInduceMs = 100; // the operator switches it off and on
    StartTerminal(options);
    OpenPort();
    EXPECT_EQ(induction.Probe(*port), BootloaderInduction::ProbeResult::NotRecognised);
    ASSERT_TRUE(InduceUntilNotice());
    ASSERT_TRUE(ConfirmUntilEntering());
    EXPECT_TRUE(BootloaderInduction::ContainsBytes(shown.data(), int(shown.size()), "NOTICE", 6));
    EXPECT_GE(terminal->CountCommands("IIIII"), 1u);
}

TEST_F(BootloaderInductionTest, NoticeAndEnteringSentTogetherAreBothFound)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Off;
    options.powerCycleOnInduceMs = 50;
    options.enteringDelayMs = 0;
    StartTerminal(options);
    OpenPort();
    ASSERT_TRUE(InduceUntilNotice());
    // Entering may have come in the same read as NOTICE: held bytes are searched again.
    EXPECT_TRUE(ConfirmUntilEntering());
}

TEST(BootloaderInductionMatch, ExactBytesInsideTheHeldCountOnly)
{
    const char held[] = "xxNOTICEyy";
    EXPECT_TRUE(BootloaderInduction::ContainsBytes(reinterpret_cast<const uint8_t*>(held), 10, "NOTICE", 6));
    EXPECT_FALSE(BootloaderInduction::ContainsBytes(reinterpret_cast<const uint8_t*>(held), 7, "NOTICE", 6));
    const char lower[] = "notice entering";
    EXPECT_FALSE(BootloaderInduction::ContainsBytes(reinterpret_cast<const uint8_t*>(lower), 15, "NOTICE", 6));
    const uint8_t withZero[] = {0, 'E', 'n', 't', 'e', 'r', 'i', 'n', 'g'};
    EXPECT_TRUE(BootloaderInduction::ContainsBytes(withZero, 9, "Entering", 8));
}

} // namespace
