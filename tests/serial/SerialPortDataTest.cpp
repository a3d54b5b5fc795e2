#include "SerialTestSupport.h"

#include <numeric>

namespace {

using SerialPortData = SerialFixture;

Bytes Pattern(size_t count)
{
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

TEST_F(SerialPortData, ReadTakesWhatIsThereUpToTheMaximum)
{
    RecordingTarget target; // outlives the port, whose thread posts to it
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    uint8_t buffer[16] = {};
    EXPECT_EQ(port.Read(buffer, 16, 0), 0);
    EXPECT_EQ(port.Read(buffer, 16, 50), 0);

    ASSERT_TRUE(port.SetNotifyWindow(&target, NotifyReceived));
    pty.Send({ 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 });
    ASSERT_TRUE(target.WaitFor(WM_SERIAL_RECEIVED));
    EXPECT_EQ(port.Read(buffer, 0, 0), 0);
    EXPECT_EQ(port.Read(buffer, -1, 0), 0);
    EXPECT_EQ(ReadBytes(port, 4), (Bytes { 0, 1, 2, 3 }));
    EXPECT_EQ(ReadBytes(port, 6), (Bytes { 4, 5, 6, 7, 8, 9 }));
    EXPECT_EQ(port.Read(buffer, 16, 0), 0);
}

TEST_F(SerialPortData, FlushReceivedDropsUnreadBytes)
{
    RecordingTarget target; // outlives the port, whose thread posts to it
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    ASSERT_TRUE(port.SetNotifyWindow(&target, NotifyReceived));
    pty.Send({ 1, 2, 3 });
    ASSERT_TRUE(target.WaitFor(WM_SERIAL_RECEIVED));
    port.FlushReceived();
    uint8_t byte = 0;
    EXPECT_EQ(port.Read(&byte, 1, 0), 0);
    pty.Send({ 4 });
    EXPECT_EQ(ReadBytes(port, 1), (Bytes { 4 }));
}

TEST_F(SerialPortData, XonXoffEscapesOutgoingFlowBytesAndTheEscape)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, FlowControl::XonXoff));
    Write(port, { 0x41, 0x11, 0x42, 0xBF, 0x13 });
    EXPECT_EQ(pty.Receive(8), (Bytes { 0x41, 0xBF, 0x91, 0x42, 0xBF, 0xBF, 0xBF, 0x93 }));
}

TEST_F(SerialPortData, XonXoffDecodesIncomingPairsAndDropsUnknownOnes)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, FlowControl::XonXoff));
    pty.Send({ 0xBF, 0x93, 0x55, 0xBF, 0x20, 0x56, 0xBF, 0x91, 0xBF, 0xBF });
    EXPECT_EQ(ReadBytes(port, 5), (Bytes { 0x13, 0x55, 0x56, 0x11, 0xBF }));
}

TEST_F(SerialPortData, LoneEscapeWaitsForItsFollower)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, FlowControl::XonXoff));
    pty.Send({ 0x41, 0xBF });
    EXPECT_EQ(ReadBytes(port, 1), (Bytes { 0x41 }));
    uint8_t buffer[4] = {};
    EXPECT_EQ(port.Read(buffer, 4, 0), 0);
    EXPECT_EQ(port.Read(buffer, 4, 20), 0);
    pty.Send({ 0x93, 0x42 });
    EXPECT_EQ(ReadBytes(port, 2), (Bytes { 0x13, 0x42 }));
}

TEST_F(SerialPortData, AlwaysEscapeEscapesWithoutFlowControl)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, FlowControl::None, 1));
    Write(port, { 0x11 });
    EXPECT_EQ(pty.Receive(2), (Bytes { 0xBF, 0x91 }));
    pty.Send({ 0xBF, 0xBF });
    EXPECT_EQ(ReadBytes(port, 1), (Bytes { 0xBF }));
}

TEST_F(SerialPortData, WithoutEscapingFlowBytesPassUnchanged)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, FlowControl::RtsCts));
    Write(port, { 0x11, 0x13, 0xBF, 0x91 });
    EXPECT_EQ(pty.Receive(4), (Bytes { 0x11, 0x13, 0xBF, 0x91 }));
    pty.Send({ 0x13, 0xBF, 0x93, 0x11 });
    EXPECT_EQ(ReadBytes(port, 4), (Bytes { 0x13, 0xBF, 0x93, 0x11 }));
}

TEST_F(SerialPortData, SetFlowControlSwitchesEscapingFromTheNextByte)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    ASSERT_TRUE(port.SetFlowControl(FlowControl::XonXoff));
    Write(port, { 0xBF });
    EXPECT_EQ(pty.Receive(2), (Bytes { 0xBF, 0xBF }));
    ASSERT_TRUE(port.SetFlowControl(FlowControl::None));
    Write(port, { 0xBF });
    EXPECT_EQ(pty.Receive(1), (Bytes { 0xBF }));
    EXPECT_TRUE(pty.ReceiveUntilQuiet(50).empty());
    ASSERT_TRUE(port.SetFlowControl(FlowControl::RtsCts));
    pty.Send({ 0xBF, 0x91 });
    EXPECT_EQ(ReadBytes(port, 2), (Bytes { 0xBF, 0x91 }));
}

TEST_F(SerialPortData, FullReceiveRingLosesNothing)
{
    // Far more than the ring holds arrives while nobody reads; the rest waits
    // in the device until Read makes room.
    RecordingTarget target; // outlives the port, whose thread posts to it
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    ASSERT_TRUE(port.SetNotifyWindow(&target, NotifyReceived));
    const Bytes sent = Pattern(3 * SerialPort::RingSize);
    pty.Send(sent);
    ASSERT_TRUE(target.WaitFor(WM_SERIAL_RECEIVED));

    Bytes got;
    while (got.size() < sent.size()) {
        const Bytes part = ReadBytes(port, std::min<size_t>(100, sent.size() - got.size()));
        if (part.empty())
            break;
        got.insert(got.end(), part.begin(), part.end());
    }
    EXPECT_EQ(got, sent);
}

TEST_F(SerialPortData, LargeWritesArriveInOrderWithEscaping)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, FlowControl::XonXoff));
    Bytes data(5000);
    std::iota(data.begin(), data.end(), 0); // every byte value, wrapping
    Bytes expected;
    for (uint8_t b : data) {
        if (b == 0x11 || b == 0x13 || b == 0xBF) {
            expected.push_back(0xBF);
            expected.push_back(b | 0x80);
        } else {
            expected.push_back(b);
        }
    }
    Write(port, data, false);
    EXPECT_EQ(pty.Receive(expected.size()), expected);
}

TEST_F(SerialPortData, WriteOfNothingWaitsForEarlierBytes)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    const Bytes sent = Pattern(1500);
    Write(port, sent, false);
    Write(port, {}, true);
    EXPECT_TRUE(port.WaitUntilSent(0));
    EXPECT_EQ(pty.Receive(sent.size()), sent);
}

TEST_F(SerialPortData, CloseWritesOutWhatIsQueued)
{
    SerialPort port;
    ASSERT_TRUE(OpenPort(port));
    const Bytes sent = Pattern(2000);
    Write(port, sent, false);
    port.Close();
    EXPECT_EQ(pty.Receive(sent.size()), sent);
}

} // namespace
