#include "SerialTestSupport.h"

#include <future>

namespace {

// Generous bound for "returns promptly" on a loaded machine; the real figure
// is a few milliseconds.
constexpr auto kPromptly = std::chrono::seconds(10);
constexpr uint8_t kXoff = 0x13;
constexpr uint8_t kXon = 0x11;

class SerialFailures : public SerialFixture {
protected:
    // Stops the port's output with XOFF from the far end (the kernel holds the
    // line on the port's side); true once a probe byte is seen to stay queued.
    bool HoldLine(SerialPort& port)
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            pty.Send({ kXoff });
            Write(port, { 'p' }, false);
            if (!port.WaitUntilSent(500))
                return true;
        }
        return false;
    }
};

TEST_F(SerialFailures, VanishedDeviceIsReportedOnceAndReleasesWriters)
{
    RecordingTarget target; // outlives the port, whose thread posts to it
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    ASSERT_TRUE(port.SetNotifyWindow(&target, NotifyReceived | NotifySent));
    EXPECT_FALSE(port.HasFailed());
    pty.CloseMaster();
    ASSERT_TRUE(target.WaitFor(WM_SERIAL_ERROR));
    EXPECT_TRUE(port.HasFailed());

    auto writer = std::async(std::launch::async, [&] {
        const Bytes big(3 * SerialPort::RingSize, 'x');
        return port.Write(big.data(), static_cast<uint32_t>(big.size()), true);
    });
    ASSERT_EQ(writer.wait_for(kPromptly), std::future_status::ready);
    EXPECT_EQ(writer.get(), 1);
    EXPECT_FALSE(port.WaitUntilSent(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(target.Count(WM_SERIAL_ERROR), 1);

    // Re-arming tells the new listener once more.
    port.SetNotifications(NotifyReceived, 1);
    EXPECT_TRUE(target.WaitFor(WM_SERIAL_ERROR, 2));
    port.Close();
}

TEST_F(SerialFailures, WriterBlockedOnAHeldLineIsReleasedWhenTheDeviceGoes)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, FlowControl::XonXoff));
    ASSERT_TRUE(HoldLine(port));
    auto writer = std::async(std::launch::async, [&] {
        const Bytes big(3 * SerialPort::RingSize, 'x');
        return port.Write(big.data(), static_cast<uint32_t>(big.size()), true);
    });
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    pty.CloseMaster();
    ASSERT_EQ(writer.wait_for(kPromptly), std::future_status::ready);
    EXPECT_TRUE(port.HasFailed());
}

TEST_F(SerialFailures, AbortWriteReleasesTheWriterAndDropsQueuedBytes)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, FlowControl::XonXoff));
    ASSERT_TRUE(HoldLine(port));
    auto writer = std::async(std::launch::async, [&] {
        const Bytes held(100, 'a');
        return port.Write(held.data(), static_cast<uint32_t>(held.size()), true);
    });
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    EXPECT_FALSE(port.WaitUntilSent(20));

    port.AbortWrite();
    ASSERT_EQ(writer.wait_for(kPromptly), std::future_status::ready);
    EXPECT_FALSE(port.HasFailed());
    EXPECT_TRUE(port.WaitUntilSent(5000));

    // The line moves again and only new bytes go out.
    pty.Send({ kXon });
    Write(port, { 'Z' });
    Bytes got = pty.ReceiveUntilQuiet(300);
    while (!got.empty() && got.front() == 'p') // probes that left before the hold
        got.erase(got.begin());
    EXPECT_EQ(got, (Bytes { 'Z' }));
}

TEST_F(SerialFailures, WaitUntilSentReportsTheDrainInSlices)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, FlowControl::XonXoff));
    EXPECT_TRUE(port.WaitUntilSent(0));
    ASSERT_TRUE(HoldLine(port));
    Write(port, { 'q' }, false);
    EXPECT_FALSE(port.WaitUntilSent(30));
    EXPECT_FALSE(port.WaitUntilSent(30));
    pty.Send({ kXon });
    EXPECT_TRUE(port.WaitUntilSent(5000));
}

TEST_F(SerialFailures, CloseGivesUpOnAHeldLine)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, FlowControl::XonXoff));
    ASSERT_TRUE(HoldLine(port));
    Write(port, Bytes(50, 'h'), false);
    auto closing = std::async(std::launch::async, [&] { port.Close(); });
    EXPECT_EQ(closing.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    SerialPort again; // the device is free again
    EXPECT_TRUE(OpenPort(again));
}

} // namespace
