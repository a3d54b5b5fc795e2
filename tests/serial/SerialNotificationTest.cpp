#include "SerialTestSupport.h"

#include "SystemSerialLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <thread>

namespace {

using SerialNotifications = SerialFixture;

// How long a test lets the I/O thread run to show that something is NOT
// posted; a wrongly posted message would normally come within microseconds.
constexpr int kSettleMs = 150;

void Settle()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
}

TEST_F(SerialNotifications, TwoBurstsBeforeRearmingGiveOneMessage)
{
    RecordingTarget target; // outlives the port, whose thread posts to it
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    ASSERT_TRUE(port.SetNotifyWindow(&target, NotifyReceived));
    pty.Send({ 'a' });
    ASSERT_TRUE(target.WaitFor(WM_SERIAL_RECEIVED));
    pty.Send({ 'b' });
    Settle();
    EXPECT_EQ(target.Count(WM_SERIAL_RECEIVED), 1);

    // Re-arming while bytes wait announces them without any new byte.
    port.SetNotifications(NotifyReceived, 1);
    EXPECT_TRUE(target.WaitFor(WM_SERIAL_RECEIVED, 2));
    EXPECT_EQ(ReadBytes(port, 2), (Bytes { 'a', 'b' }));
}

TEST_F(SerialNotifications, WindowThatRearmsAndReadsSeesEveryByte)
{
    // Handles each message as the main window does: re-arm, then read.
    RecordingTarget target; // outlives the port, whose thread posts to it
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    ASSERT_TRUE(port.SetNotifyWindow(&target, NotifyReceived));
    const Bytes sent = { 'a', 'b', 'c', 'd', 'e' };
    std::thread farEnd([&] {
        for (uint8_t byte : sent) {
            pty.Send({ byte });
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    Bytes got;
    int handled = 0;
    while (got.size() < sent.size() && target.WaitFor(WM_SERIAL_RECEIVED, handled + 1)) {
        ++handled;
        port.SetNotifications(NotifyReceived, 1);
        uint8_t buffer[16];
        const int n = port.Read(buffer, 16, 0);
        got.insert(got.end(), buffer, buffer + n);
    }
    farEnd.join();
    EXPECT_EQ(got, sent);
}

TEST_F(SerialNotifications, ReceivedMaskArmsReceivedAndErrorButNotSent)
{
    RecordingTarget target; // outlives the port, whose thread posts to it
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    ASSERT_TRUE(port.SetNotifyWindow(&target, NotifyReceived));
    Write(port, { 'x' });
    pty.Send({ 'y' });
    ASSERT_TRUE(target.WaitFor(WM_SERIAL_RECEIVED));
    pty.CloseMaster();
    EXPECT_TRUE(target.WaitFor(WM_SERIAL_ERROR));
    EXPECT_EQ(target.Count(WM_SERIAL_SENT), 0);
}

TEST_F(SerialNotifications, SentMaskAnnouncesTheDrainOnce)
{
    RecordingTarget target; // outlives the port, whose thread posts to it
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    ASSERT_TRUE(port.SetNotifyWindow(&target, NotifySent));
    Write(port, { 'x' });
    ASSERT_TRUE(target.WaitFor(WM_SERIAL_SENT));
    Write(port, { 'y' });
    pty.Send({ 'z' });
    Settle();
    EXPECT_EQ(target.Count(WM_SERIAL_SENT), 1);
    EXPECT_EQ(target.Count(WM_SERIAL_RECEIVED), 0);
    port.SetNotifications(NotifySent, 1);
    Write(port, { 'w' });
    EXPECT_TRUE(target.WaitFor(WM_SERIAL_SENT, 2));
}

TEST_F(SerialNotifications, NoWindowOrDisarmedMeansNoMessages)
{
    RecordingTarget target; // outlives the port, whose thread posts to it
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    ASSERT_TRUE(port.SetNotifyWindow(nullptr, NotifyReceived | NotifySent));
    port.SetNotifications(NotifyReceived | NotifySent, 1); // nothing to arm without a window
    pty.Send({ 'a' });
    Write(port, { 'b' });

    SerialPort second;
    PtyPair otherLine;
    ASSERT_TRUE(second.Open(otherLine.SlavePath(), 9600, 0, NoParity, OneStopBit, 8, FlowControl::None));
    ASSERT_TRUE(second.SetNotifyWindow(&target, NotifyReceived | NotifySent));
    second.SetNotifications(NotifyReceived | NotifySent, 0); // as a download worker does
    otherLine.Send({ 'c' });
    Write(second, { 'd' });
    otherLine.CloseMaster();
    Settle();
    EXPECT_EQ(target.Count(WM_SERIAL_RECEIVED), 0);
    EXPECT_EQ(target.Count(WM_SERIAL_SENT), 0);
    EXPECT_EQ(target.Count(WM_SERIAL_ERROR), 0);
}

TEST_F(SerialNotifications, ClosedAndReopenedPortStaysSilentUntilTold)
{
    RecordingTarget target; // outlives the port, whose thread posts to it
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    ASSERT_TRUE(port.SetNotifyWindow(&target, NotifyReceived));
    port.Close();
    ASSERT_TRUE(OpenPort(port));
    pty.Send({ 'a' });
    Settle();
    EXPECT_EQ(target.Count(WM_SERIAL_RECEIVED), 0);
    ASSERT_TRUE(port.SetNotifyWindow(&target, NotifyReceived));
    EXPECT_TRUE(target.WaitFor(WM_SERIAL_RECEIVED));
}

TEST_F(SerialNotifications, LoneEscapeIsNotAnnounced)
{
    RecordingTarget target; // outlives the port, whose thread posts to it
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, FlowControl::XonXoff));
    ASSERT_TRUE(port.SetNotifyWindow(&target, NotifyReceived));
    pty.Send({ 0xBF });
    Settle();
    EXPECT_EQ(target.Count(WM_SERIAL_RECEIVED), 0);
    pty.Send({ 0x91 });
    ASSERT_TRUE(target.WaitFor(WM_SERIAL_RECEIVED));
    EXPECT_EQ(ReadBytes(port, 1), (Bytes { 0x11 }));
}

TEST_F(SerialNotifications, BusySharedLockPostponesButDoesNotLoseMessages)
{
    RecordingTarget target; // outlives the port, whose thread posts to it
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    ASSERT_TRUE(port.SetNotifyWindow(&target, NotifyReceived));

    // Another holder of the named lock (as another process would be).
    const int holder = ::open(SystemSerialLock::FilePath().c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(port.SetNotifyWindow(&target, NotifySent)); // changes nothing
    pty.Send({ 'a' });
    Settle();
    EXPECT_EQ(target.Count(WM_SERIAL_RECEIVED), 0);

    ::flock(holder, LOCK_UN);
    ::close(holder);
    EXPECT_TRUE(target.WaitFor(WM_SERIAL_RECEIVED));
}

} // namespace
