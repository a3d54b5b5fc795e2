// The console port's life-cycle without a window: the line it really runs at,
// the single-reader rule around a download, bounded sends, a lost device.

#include "ConsolePort.h"
#include "SerialMessages.h"
#include "SerialTestSupport.h"
#include "SystemSerialLock.h"
#include "UserFolders.h"

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int AliasNumber = 150;

class ConsolePortTest : public SerialFixture {
protected:
    void SetUp() override
    {
        SerialFixture::SetUp();
        std::filesystem::create_directories(UserFolders::ComAliasFolder());
        std::filesystem::create_symlink(pty.SlavePath(),
                                        UserFolders::ComAliasFolder() + "/COM" + std::to_string(AliasNumber));
    }

    static ConsolePort::Settings Line(const std::string& baud, const std::string& format)
    {
        return {"COM" + std::to_string(AliasNumber) + " (pts)", baud, format};
    }

    RecordingTarget window;
    ConsolePort console{&window};
};

TEST_F(ConsolePortTest, TheToggleNamesTheLineAsItReallyRuns)
{
    ASSERT_TRUE(console.Open(Line("9600", "8e2")));
    const SerialLineSettings line = console.Port()->AppliedLine();
    EXPECT_EQ(line.baudRate, 9600u);
    EXPECT_EQ(line.parity, EvenParity); // a pseudo-terminal drops parity: the driver's record tells
    EXPECT_EQ(line.stopBits, TwoStopBits);
    EXPECT_EQ(console.ToggleText(), "&Port COM150 (pts) open\r\n9600, 8e2");
    EXPECT_TRUE(console.RunsAs(Line("9600", "8e2")));
    EXPECT_FALSE(console.RunsAs(Line("9600", "8o2")));
    EXPECT_FALSE(console.RunsAs(Line("115200", "8e2")));

    // What a download leaves behind: flow control on, or the bootloader's line.
    ASSERT_TRUE(console.Port()->SetFlowControl(FlowControl::XonXoff));
    EXPECT_EQ(console.ToggleText(), "&Port COM150 (pts) open\r\n9600, 8e2, Xon/Xoff");
    EXPECT_FALSE(console.RunsAs(Line("9600", "8e2")));
    console.Port()->Close();
    ASSERT_TRUE(console.Port()->OpenByNumber(AliasNumber, 115200, 0, NoParity, OneStopBit, 8, FlowControl::None));
    EXPECT_EQ(console.ToggleText(), "&Port COM150 (pts) open\r\n115200, 8n1");
    EXPECT_TRUE(console.RunsAs(Line("115200", "8n1")));

    // An adapter's description stays in the list; the toggle names port and device.
    console.Close();
    ASSERT_TRUE(console.Open({"COM" + std::to_string(AliasNumber) + " (pts, FT232R USB UART)", "9600", "8n1"}));
    EXPECT_EQ(console.ToggleText(), "&Port COM150 (pts) open\r\n9600, 8n1");
}

TEST_F(ConsolePortTest, AStaleNotificationIsDroppedWhileTheWorkerReads)
{
    ASSERT_TRUE(console.Open(Line("115200", "8n1")));
    pty.Send({'h', 'i'});
    ASSERT_TRUE(window.WaitFor(WM_SERIAL_RECEIVED)); // posted before the hand-over

    console.LendToWorker();
    SerialPort& port = *console.Port();
    port.SetNotifications(NotifyReceived | NotifySent, 0); // the worker's first step
    uint8_t buffer[64];
    EXPECT_EQ(console.ReadForDisplay(buffer, sizeof buffer), 0);
    EXPECT_EQ(ReadBytes(port, 2), Bytes({'h', 'i'})); // still there for the worker
    // Dropped without re-arming: the loader's reply is not announced to the window.
    pty.Send({0xAA, 0x55});
    EXPECT_EQ(ReadBytes(port, 2), Bytes({0xAA, 0x55}));
    EXPECT_EQ(window.Count(WM_SERIAL_RECEIVED), 1);

    // The transfer begins: the worker arms, and the window reads again.
    port.SetNotifications(NotifyReceived | NotifySent, 1);
    pty.Send({'o', 'k'});
    ASSERT_TRUE(window.WaitFor(WM_SERIAL_RECEIVED, 2));
    EXPECT_EQ(console.ReadForDisplay(buffer, sizeof buffer), 2);
    EXPECT_FALSE(console.IsLent());
}

TEST_F(ConsolePortTest, TakeBackRegistersAgainAfterTheWorkerReopenedThePort)
{
    ASSERT_TRUE(console.Open(Line("115200", "8n1")));
    console.LendToWorker();
    console.Port()->Close(); // a reset into the bootloader...
    ASSERT_TRUE(console.Port()->OpenByNumber(AliasNumber, 115200, 0, NoParity, OneStopBit, 8, FlowControl::None));
    pty.Send({'x'});
    EXPECT_FALSE(window.WaitFor(WM_SERIAL_RECEIVED, 1, 200)); // ...left the window deaf
    console.TakeBack();
    ASSERT_TRUE(window.WaitFor(WM_SERIAL_RECEIVED));
    uint8_t buffer[8];
    EXPECT_EQ(console.ReadForDisplay(buffer, sizeof buffer), 1);
}

TEST_F(ConsolePortTest, ALostDeviceOrAFailedReopenIsTold)
{
    EXPECT_EQ(console.CheckLoss(), ConsolePort::Loss::None); // closed is not lost
    ASSERT_TRUE(console.Open(Line("115200", "8n1")));
    EXPECT_EQ(console.CheckLoss(), ConsolePort::Loss::None);
    console.Port()->Close(); // as a reset whose reopen failed leaves it
    EXPECT_EQ(console.CheckLoss(), ConsolePort::Loss::NotReopened);
    EXPECT_NE(console.LossText(ConsolePort::Loss::NotReopened).find("COM150 could not be opened again"),
              std::string::npos);

    ASSERT_TRUE(console.Open(Line("115200", "8n1")));
    pty.CloseMaster();
    ASSERT_TRUE(window.WaitFor(WM_SERIAL_ERROR));
    EXPECT_EQ(console.CheckLoss(), ConsolePort::Loss::DeviceLost);
    EXPECT_EQ(console.LossText(ConsolePort::Loss::DeviceLost), SerialMessages::ConnectionLost(AliasNumber));
    EXPECT_EQ(console.Send({'a'}, 2000), 0u); // returns at once
    console.Close();
    EXPECT_FALSE(console.IsOpen());
}

TEST_F(ConsolePortTest, ASendIntoALineNobodyReadsGivesUp)
{
    ASSERT_TRUE(console.Open(Line("115200", "8n1")));
    // The far end never reads: the kernel's buffers and then the ring fill up.
    const Bytes big(256 * 1024, 'z');
    const uint32_t queued = console.Send(big, 300);
    EXPECT_GT(queued, 0u);
    EXPECT_LT(queued, big.size());
    // Nothing of a refused write is left half-queued: the next send goes on.
    EXPECT_LE(console.Send({'q'}, 50), 1u);
}

TEST_F(ConsolePortTest, SettingsTextsDecodeAsThePageMeansThem)
{
    const ConsolePort::Settings settings{"com12 (ttyS11)", "57600", "8O2"};
    EXPECT_EQ(settings.PortNumber(), 12);
    EXPECT_EQ(settings.BaudRate(), 57600u);
    EXPECT_EQ(settings.Parity(), OddParity);
    EXPECT_EQ(settings.StopBits(), TwoStopBits);
    const ConsolePort::Settings empty{"", "", ""};
    EXPECT_EQ(empty.PortNumber(), 0);
    EXPECT_EQ(empty.BaudRate(), 0u);
    EXPECT_EQ(empty.Parity(), NoParity);
    EXPECT_EQ(empty.StopBits(), OneStopBit);
    EXPECT_FALSE(console.Open(empty));
    EXPECT_FALSE(console.IsOpen());
}

// The lock that guards notifications lives with the user, never in a shared
// folder, and is never taken over through a link.
TEST(SystemSerialLockFile, IsPerUserAndRefusesALink)
{
    TempUserFolders folders;
    ::unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove_all(UserFolders::SettingsFolder());
    EXPECT_EQ(SystemSerialLock::FilePath(), UserFolders::SettingsFolder() + "/WinSerialMutex");
    {
        SystemSerialLock lock;
        ASSERT_TRUE(lock.Open()); // creates the folder too
        struct stat status {};
        ASSERT_EQ(::stat(UserFolders::SettingsFolder().c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0700u);
        EXPECT_TRUE(lock.TryLock());
        EXPECT_TRUE(lock.Unlock());
    }
    std::filesystem::remove(SystemSerialLock::FilePath());
    const std::string elsewhere = (folders.Root() / "someone-elses").string();
    std::filesystem::create_symlink(elsewhere, SystemSerialLock::FilePath());
    SystemSerialLock lock;
    EXPECT_FALSE(lock.Open());
    EXPECT_FALSE(std::filesystem::exists(elsewhere));
}

} // namespace
