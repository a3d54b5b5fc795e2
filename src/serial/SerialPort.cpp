#include "SerialPort.h"
#include "SerialLineSettings.h"

#include "ComPortNames.h"
#include "NotifyTarget.h"
#include "SerialDevice.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// The escape byte of XON/XOFF escaping; a pair is 0xBF, (byte OR 0x80).
constexpr uint8_t kEscape = 0xBF;
constexpr uint8_t kEscapedBit = 0x80;

// Write looks for room in the transmit ring, and for its bytes to leave, this
// often; the I/O thread needs far less than that to empty the ring into the
// device, and a waiting writer costs nothing in between.
constexpr Milliseconds kWritePollInterval(10);

// Close wakes the I/O thread this often while it drains, so that a write held
// by flow control is counted and abandoned after kDrainPassLimit passes
// (about 2.3 s): long enough for a slow line, short enough for an operator.
constexpr Milliseconds kClosePollInterval(50);
constexpr int kDrainPassLimit = 45;

// When a notification could not be posted because another port held the
// shared lock, or the device refused a read or write for a passing reason,
// the I/O thread looks again this soon instead of waiting for the next byte,
// which may never come.
constexpr int kRetrySoonMs = 10;

constexpr uint32_t Next(uint32_t index, uint32_t step = 1)
{
    return (index + step) % SerialPort::RingSize;
}

constexpr bool NeedsEscape(uint8_t byte)
{
    return byte == XonByte || byte == XoffByte || byte == kEscape;
}

// Decodes the byte after an escape; false for followers that mean nothing.
bool Unescape(uint8_t follower, uint8_t& decoded)
{
    switch (follower) {
    case XonByte | kEscapedBit: decoded = XonByte; return true;
    case XoffByte | kEscapedBit: decoded = XoffByte; return true;
    case kEscape: decoded = kEscape; return true;
    default: return false;
    }
}

// A read or write the device did not complete at once: marks whether to wait
// for it or to try again soon. True when the device is gone.
bool DeviceGone(SerialDevice::Io io, bool& pending, bool& retrySoon)
{
    switch (io) {
    case SerialDevice::Io::Done:
        break;
    case SerialDevice::Io::Pending:
        pending = true;
        break;
    case SerialDevice::Io::Retry:
        retrySoon = true;
        break;
    case SerialDevice::Io::Gone:
        return true;
    }
    return false;
}

} // namespace

SerialPort::SerialPort() : localDevice(SerialDevice::Create())
{
    device.store(localDevice.get(), std::memory_order_release);
}

SerialDevice* SerialPort::Device() const
{
    return device.load(std::memory_order_acquire);
}

SerialPort::~SerialPort()
{
    Close();
}

bool SerialPort::OpenByNumber(int number, uint32_t baudRate, int alwaysEscapeFlag, int parity,
                              int stopBits, int byteSize, FlowControl flow)
{
    portNumber.store(number, std::memory_order_relaxed);
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", number);
    return Open(name, baudRate, alwaysEscapeFlag, parity, stopBits, byteSize, flow);
}

bool SerialPort::Open(const std::string& deviceName, uint32_t baudRate, int alwaysEscapeFlag,
                      int parity, int stopBits, int byteSize, FlowControl flow)
{
    // Opening an open port is not something any caller does; refuse it rather
    // than disturb the running one.
    if (isOpen.load(std::memory_order_acquire) != 0)
        return FailOpen(SerialOpenError::Other);
    lastOpenError = SerialOpenError::None;

    if (!lock.Open())
        return FailOpen(SerialOpenError::Other);
    alwaysEscape.store(alwaysEscapeFlag != 0 ? 1 : 0, std::memory_order_release);

    lineSettings.baudRate = baudRate;
    lineSettings.parity = parity;
    lineSettings.stopBits = stopBits;
    lineSettings.byteSize = byteSize;
    lineSettings.flow = static_cast<int32_t>(flow);
    lineSettings.dtrOn = flow == FlowControl::DsrDtr || flow == FlowControl::RtsCtsDsrDtr;
    outX.store(flow == FlowControl::XonXoff, std::memory_order_release);

    // A COM name may stand for a port on a device server; so may the name itself.
    const std::string networkName = ComPortNames::NetworkAddress(deviceName);
    if (!networkName.empty() && !networkDevice)
        networkDevice = SerialDevice::CreateNetwork();
    // A connection kept by a reopen that now goes elsewhere is let go.
    if (networkName.empty() && networkDevice)
        networkDevice->Close(SerialDevice::Leftover::Ignore);
    device.store(networkName.empty() ? localDevice.get() : networkDevice.get(), std::memory_order_release);
    openedName = deviceName;
    if (!Device()->CanWake())
        return FailOpen(SerialOpenError::Other);
    const SerialOpenError opened = Device()->Open(networkName.empty() ? deviceName : networkName, lineSettings);
    if (opened != SerialOpenError::None)
        return FailOpen(opened);

    failed.store(false, std::memory_order_relaxed);
    clearErrorsFailed = false;
    abandonedWrite = false;
    try {
        ioThread = std::thread(&SerialPort::IoThreadMain, this);
    } catch (const std::system_error&) {
        return FailOpen(SerialOpenError::Other);
    }
    {
        // A condition variable rather than the atomic's own wait, whose
        // fallback on Windows' threads can miss the wake-up for good.
        std::unique_lock<std::mutex> guard(exitMutex);
        exitSignal.wait(guard, [this] { return threadRunning.load(std::memory_order_acquire) != 0; });
    }

    isOpen.store(1, std::memory_order_release);
    return true;
}

bool SerialPort::FailOpen(SerialOpenError why)
{
    // An open port stays as it is; only the resources of this attempt go.
    if (isOpen.load(std::memory_order_acquire) == 0) {
        lock.Close();
        Device()->Close(SerialDevice::Leftover::Ignore);
    }
    lastOpenError = why;
    return false;
}

void SerialPort::Close()
{
    Shut(false);
}

void SerialPort::Shut(bool keepConnection)
{
    const bool windowCleared = SetNotifyWindow(nullptr, NotifyReceived);

    if (ioThread.joinable()) {
        Device()->RequestStop();
        std::unique_lock<std::mutex> guard(exitMutex);
        while (!exitSignal.wait_for(guard, kClosePollInterval,
                                    [this] { return threadRunning.load(std::memory_order_acquire) == 0; }))
            Wake();
        guard.unlock();
        ioThread.join();
    }

    if (isOpen.load(std::memory_order_acquire) != 0) {
        const SerialDevice::Leftover leftover = failed.load(std::memory_order_acquire) ? SerialDevice::Leftover::Ignore
                                                : abandonedWrite ? SerialDevice::Leftover::Drop
                                                                 : SerialDevice::Leftover::Drain;
        if (keepConnection)
            Device()->Suspend(leftover);
        else
            Device()->Close(leftover);
        lock.Close();
        isOpen.store(0, std::memory_order_release);
    }

    // With the thread gone nobody else touches the notification fields, so
    // a busy lock above must not leave a reopened port posting to the old
    // window.
    if (!windowCleared) {
        armedReceived.store(0, std::memory_order_relaxed);
        armedSent.store(0, std::memory_order_relaxed);
        armedError.store(0, std::memory_order_relaxed);
        notifyMask.store(0, std::memory_order_relaxed);
        notifyWindow.store(nullptr, std::memory_order_release);
    }
}

bool SerialPort::SetNotifyWindow(NotifyTarget* window, uint32_t mask)
{
    if (!lock.TryLock())
        return false;
    armedReceived.store(0, std::memory_order_relaxed);
    armedSent.store(0, std::memory_order_relaxed);
    armedError.store(0, std::memory_order_relaxed);
    notifyMask.store(window != nullptr ? mask : 0, std::memory_order_relaxed);
    notifyWindow.store(window, std::memory_order_release);
    if (!lock.Unlock())
        return false;
    if (window != nullptr)
        SetNotifications(mask, 1);
    return true;
}

void SerialPort::SetNotifications(uint32_t bits, int value)
{
    if (notifyWindow.load(std::memory_order_acquire) == nullptr)
        return;
    const uint32_t allowed = bits & notifyMask.load(std::memory_order_relaxed);
    if ((allowed & NotifyReceived) && value != 0)
        receiveArmings.fetch_add(1, std::memory_order_acq_rel);
    if (allowed & NotifyReceived)
        armedReceived.store(value, std::memory_order_release);
    if (allowed & NotifySent)
        armedSent.store(value, std::memory_order_release);
    if (allowed & (NotifyReceived | NotifySent)) {
        armedError.store(value, std::memory_order_release);
        // A window that re-arms and then reads only part of what waits must
        // hear of the rest now, not when the next byte happens to arrive.
        if (value != 0)
            Wake();
    }
}

bool SerialPort::SetFlowControl(FlowControl flow)
{
    if (isOpen.load(std::memory_order_acquire) == 0)
        return false;
    // Only XON/XOFF and the RTS/CTS handshake change; DTR stays as opened.
    switch (flow) {
    case FlowControl::XonXoff:
    case FlowControl::RtsCts:
        lineSettings.flow = static_cast<int32_t>(flow);
        break;
    default:
        lineSettings.flow = static_cast<int32_t>(FlowControl::None);
        break;
    }
    outX.store(flow == FlowControl::XonXoff, std::memory_order_release);
    return Device()->Apply(lineSettings);
}

bool SerialPort::EscapingOn() const
{
    return outX.load(std::memory_order_acquire) || alwaysEscape.load(std::memory_order_acquire) != 0;
}

void SerialPort::Wake()
{
    Device()->Wake();
}

void SerialPort::FlushReceived()
{
    Device()->PurgeReceived();
    ConsumedReceived(rxWrite.load(std::memory_order_acquire));
}

void SerialPort::ConsumedReceived(uint32_t newRead)
{
    // Sequentially consistent with ParkReceiver: either the I/O thread sees
    // the new room, or this call sees it parked and wakes it.
    rxRead.store(newRead, std::memory_order_seq_cst);
    if (receiverParked.load(std::memory_order_seq_cst) && receiverParked.exchange(false))
        Wake();
}

int SerialPort::Read(uint8_t* buffer, int maxCount, int waitMs)
{
    if (maxCount <= 0)
        return 0;
    int count = 0;
    bool leadWaiting = false;
    uint32_t read = rxRead.load(std::memory_order_relaxed);
    for (;;) {
        uint32_t head = rxWrite.load(std::memory_order_acquire);
        if (read == head || leadWaiting) {
            if (waitMs > 0)
                std::this_thread::sleep_for(Milliseconds(waitMs));
            head = rxWrite.load(std::memory_order_acquire);
            if (read == head)
                return count;
            if (leadWaiting && head == Next(read))
                return count;
        }
        leadWaiting = false;
        while (read != head) {
            const uint8_t byte = receiveRing[read];
            if (!EscapingOn() || byte != kEscape) {
                buffer[count++] = byte;
                read = Next(read);
            } else if (Next(read) == head) {
                // The follower has not arrived: leave the escape in the ring.
                leadWaiting = true;
                break;
            } else {
                uint8_t decoded = 0;
                const bool valid = Unescape(receiveRing[Next(read)], decoded);
                read = Next(read, 2);
                if (valid)
                    buffer[count++] = decoded;
            }
            ConsumedReceived(read);
            if (count == maxCount)
                return count;
        }
    }
}

bool SerialPort::WriteAborted(uint32_t abortTicket) const
{
    return abortRequests.load(std::memory_order_acquire) != abortTicket
        || failed.load(std::memory_order_acquire);
}

bool SerialPort::WaitForRoom(uint32_t slots, uint32_t abortTicket, Clock::time_point deadline)
{
    for (;;) {
        const uint32_t used = (txWrite.load(std::memory_order_relaxed) + RingSize
                               - txRead.load(std::memory_order_acquire)) % RingSize;
        if (used + slots <= RingSize - 1)
            return true;
        // Nobody left to make room: the port failed, the write was aborted or
        // the port is not running.
        if (WriteAborted(abortTicket) || threadRunning.load(std::memory_order_acquire) == 0)
            return false;
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        Wake();
        std::this_thread::sleep_for(std::min<Clock::duration>(kWritePollInterval, deadline - now));
    }
}

void SerialPort::WaitForAbortHandled(uint32_t abortTicket)
{
    // The I/O thread drops the queued bytes at its next pass; until it has,
    // bytes of a new write would be dropped with them. Counts wrap, so
    // "handled at least this one" is a signed difference.
    while (static_cast<int32_t>(abortsHandled.load(std::memory_order_acquire) - abortTicket) < 0
           && threadRunning.load(std::memory_order_acquire) != 0) {
        Wake();
        std::this_thread::sleep_for(Milliseconds(1));
    }
}

int SerialPort::Write(const uint8_t* data, uint32_t length, bool waitUntilSent)
{
    Queue(data, length, waitUntilSent, Clock::time_point::max());
    return 1;
}

uint32_t SerialPort::WriteWithin(const uint8_t* data, uint32_t length, int timeoutMs)
{
    return Queue(data, length, false, Clock::now() + Milliseconds(std::max(timeoutMs, 0)));
}

uint32_t SerialPort::Queue(const uint8_t* data, uint32_t length, bool waitUntilSent, Clock::time_point deadline)
{
    const uint32_t ticket = abortRequests.load(std::memory_order_acquire);
    WaitForAbortHandled(ticket);

    uint32_t queued = 0;
    for (uint32_t i = 0; i < length && !WriteAborted(ticket); ++i) {
        const uint8_t byte = data[i];
        const bool escape = EscapingOn() && NeedsEscape(byte);
        if (!WaitForRoom(escape ? 2 : 1, ticket, deadline))
            break;
        const uint32_t write = txWrite.load(std::memory_order_relaxed);
        if (escape) {
            transmitRing[write] = kEscape;
            transmitRing[Next(write)] = byte | kEscapedBit;
            // Both at once, so the I/O thread never sends half a pair.
            txWrite.store(Next(write, 2), std::memory_order_release);
        } else {
            transmitRing[write] = byte;
            txWrite.store(Next(write), std::memory_order_release);
        }
        queued = i + 1;
    }
    Wake();

    if (waitUntilSent) {
        while (txRead.load(std::memory_order_acquire) != txWrite.load(std::memory_order_relaxed)
               && !WriteAborted(ticket) && threadRunning.load(std::memory_order_acquire) != 0)
            std::this_thread::sleep_for(kWritePollInterval);
    }
    if (abortRequests.load(std::memory_order_acquire) != ticket) {
        // The thread may have dropped the ring before this call stopped
        // adding to it; one more drop, now that it has stopped, takes the rest.
        WaitForAbortHandled(abortRequests.fetch_add(1, std::memory_order_acq_rel) + 1);
        queued = 0;
    }
    return queued;
}

bool SerialPort::WaitUntilSent(int timeoutMs)
{
    const auto deadline = Clock::now() + Milliseconds(timeoutMs);
    for (;;) {
        if (failed.load(std::memory_order_acquire))
            return false;
        if (txRead.load(std::memory_order_acquire) == txWrite.load(std::memory_order_acquire))
            return true;
        if (threadRunning.load(std::memory_order_acquire) == 0)
            return false;
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(kWritePollInterval, deadline - now));
    }
}

void SerialPort::AbortWrite()
{
    abortRequests.fetch_add(1, std::memory_order_acq_rel);
    Wake();
}

int SerialPort::PortNumber() const
{
    return portNumber.load(std::memory_order_relaxed);
}

bool SerialPort::HasFailed() const
{
    return failed.load(std::memory_order_acquire);
}

SerialOpenError SerialPort::LastOpenError() const
{
    return lastOpenError;
}

std::string SerialPort::LastOpenDetail() const
{
    return lastOpenError == SerialOpenError::None ? std::string() : Device()->LastOpenDetail();
}

std::string SerialPort::PortName() const
{
    const int number = PortNumber();
    return number > 0 ? "COM" + std::to_string(number) : openedName;
}

bool SerialPort::Reopen(uint32_t baudRate, int alwaysEscapeFlag, int parity, int stopBits, int byteSize,
                        FlowControl flow)
{
    // The name as last given: "\\.\COM12" for a port opened by number, whose
    // number Open leaves as it is.
    const std::string name = openedName;
    Shut(true);
    return Open(name, baudRate, alwaysEscapeFlag, parity, stopBits, byteSize, flow);
}

bool SerialPort::IsOpen() const
{
    return isOpen.load(std::memory_order_acquire) != 0;
}

SerialLineSettings SerialPort::AppliedLine() const
{
    return lineSettings;
}

uint32_t SerialPort::ReceiveArmCount() const
{
    return receiveArmings.load(std::memory_order_acquire);
}

// ---------------------------------------------------------------------------
// The I/O thread. It alone advances rxWrite and txRead and asks the device to
// read and write; the device says how its reads and writes went and waits for
// them.

void SerialPort::IoThreadMain()
{
    // A thread that cannot do its I/O moves no bytes; counting the port as
    // failed lets every writer return and Close end the thread as usual.
    if (!Device()->BeginThread())
        MarkFailed();
    {
        std::lock_guard<std::mutex> guard(exitMutex);
        threadRunning.store(1, std::memory_order_release);
    }
    exitSignal.notify_all();

    bool readPending = false;
    bool writePending = false;
    bool stop = false;
    bool sentCheckDue = false;
    int drainPasses = 0;
    for (;;) {
        // A read or write refused for a passing reason, or a check that found
        // the shared lock busy, is tried again soon.
        bool retrySoon = false;
        bool progressed = HandleAbortRequest(writePending);

        if (!failed.load(std::memory_order_relaxed))
            progressed |= ReceivePass(readPending, retrySoon);

        bool leave = false;
        progressed |= TransmitPass(writePending, stop, drainPasses, sentCheckDue, retrySoon, leave);
        if (leave)
            break;

        if (sentCheckDue) {
            sentCheckDue = !SentCheck();
            retrySoon |= sentCheckDue;
        }
        retrySoon |= !ReceivedCheck();
        retrySoon |= !ErrorCheck();

        // Wait for the device, a wake-up, or nothing when there is more to
        // do at once. A full receive ring is not read; Read wakes the thread
        // when it makes room.
        const bool deviceUsable = !failed.load(std::memory_order_relaxed);
        if (deviceUsable && !readPending && !progressed && !ParkReceiver())
            progressed = true; // room appeared meanwhile: read at once
        const int timeout = progressed ? 0 : (retrySoon ? kRetrySoonMs : -1);
        const SerialDevice::Events events = Device()->Wait(readPending, writePending, deviceUsable, timeout);
        if (events.readDone) {
            readPending = false;
            ReadCompleted(events.readCount);
        }
        if (events.writeDone) {
            writePending = false;
            WriteCompleted(events.writeCount, sentCheckDue);
        }
        if (events.gone)
            MarkFailed();
        receiverParked.store(false, std::memory_order_relaxed);

        stop = stop || Device()->StopRequested();
    }

    Device()->EndThread(readPending, writePending);
    {
        std::lock_guard<std::mutex> guard(exitMutex);
        threadRunning.store(0, std::memory_order_release);
    }
    exitSignal.notify_all();
}

bool SerialPort::ParkReceiver()
{
    const uint32_t write = rxWrite.load(std::memory_order_relaxed);
    if (Next(write) != rxRead.load(std::memory_order_seq_cst))
        return false;
    receiverParked.store(true, std::memory_order_seq_cst);
    // Sequentially consistent with ConsumedReceived: Read may have made room
    // between the two looks, and then it may not have seen the flag.
    if (Next(write) != rxRead.load(std::memory_order_seq_cst)) {
        receiverParked.store(false, std::memory_order_relaxed);
        return false;
    }
    return true;
}

void SerialPort::ReadCompleted(uint32_t count)
{
    if (count == 0)
        return;
    rxWrite.store(Next(rxWrite.load(std::memory_order_relaxed), count), std::memory_order_release);
    if (!Device()->ClearErrors())
        clearErrorsFailed = true;
}

void SerialPort::WriteCompleted(uint32_t count, bool& sentCheckDue)
{
    if (count == 0)
        return;
    txRead.store(Next(txRead.load(std::memory_order_relaxed), count), std::memory_order_release);
    sentCheckDue = true;
}

bool SerialPort::ReceivePass(bool& readPending, bool& retrySoon)
{
    if (readPending)
        return false;
    const uint32_t read = rxRead.load(std::memory_order_acquire);
    const uint32_t write = rxWrite.load(std::memory_order_relaxed);
    uint32_t freeRun = 0;
    if (read > write)
        freeRun = read - write - 1;
    else
        freeRun = RingSize - write - (read == 0 ? 1 : 0);
    if (freeRun == 0)
        return false;

    uint32_t got = 0;
    const SerialDevice::Io io = Device()->StartRead(receiveRing + write, freeRun, got);
    if (io == SerialDevice::Io::Done) {
        ReadCompleted(got);
        return true;
    }
    if (DeviceGone(io, readPending, retrySoon))
        MarkFailed();
    return false;
}

bool SerialPort::TransmitPass(bool& writePending, bool stop, int& drainPasses, bool& sentCheckDue,
                              bool& retrySoon, bool& leave)
{
    if (failed.load(std::memory_order_relaxed)) {
        // Nothing will ever leave: drop what is queued so that no writer waits.
        txRead.store(txWrite.load(std::memory_order_acquire), std::memory_order_release);
        leave = stop;
        return false;
    }
    if (writePending) {
        if (stop) {
            if (drainPasses > kDrainPassLimit) {
                abandonedWrite = true;
                leave = true;
            } else {
                ++drainPasses;
            }
        }
        return false;
    }
    const uint32_t read = txRead.load(std::memory_order_relaxed);
    const uint32_t write = txWrite.load(std::memory_order_acquire);
    if (read == write) {
        if (stop)
            leave = true;
        drainPasses = 0;
        return false;
    }
    drainPasses = 0;
    const uint32_t run = read <= write ? write - read : RingSize - read;
    uint32_t sent = 0;
    const SerialDevice::Io io = Device()->StartWrite(transmitRing + read, run, sent);
    if (io == SerialDevice::Io::Done) {
        WriteCompleted(sent, sentCheckDue);
        return true;
    }
    if (DeviceGone(io, writePending, retrySoon))
        MarkFailed();
    return false;
}

bool SerialPort::HandleAbortRequest(bool& writePending)
{
    const uint32_t requested = abortRequests.load(std::memory_order_acquire);
    if (requested == abortsHandled.load(std::memory_order_relaxed))
        return false;
    // Drop both what waits in the ring and what the device still holds.
    txRead.store(txWrite.load(std::memory_order_acquire), std::memory_order_release);
    if (!failed.load(std::memory_order_relaxed))
        Device()->DropOutput(writePending);
    writePending = false;
    abortsHandled.store(requested, std::memory_order_release);
    return true;
}

void SerialPort::MarkFailed()
{
    failed.store(true, std::memory_order_release);
}

bool SerialPort::PostIfArmed(std::atomic<int>& armed, uint32_t message,
                             bool (SerialPort::*stillDue)() const)
{
    if (!lock.TryLock())
        return false;
    NotifyTarget* window = notifyWindow.load(std::memory_order_acquire);
    if (armed.load(std::memory_order_acquire) != 0 && window != nullptr && (this->*stillDue)()) {
        armed.store(0, std::memory_order_release);
        window->Post(message);
    }
    // A failed release cannot be helped here; the notification went out.
    lock.Unlock();
    return true;
}

bool SerialPort::UnreadReceived() const
{
    const uint32_t read = rxRead.load(std::memory_order_acquire);
    const uint32_t write = rxWrite.load(std::memory_order_relaxed);
    if (read == write)
        return false;
    // A lone escape byte is not something Read can deliver yet; announcing it
    // would only make the window read nothing, re-arm and be told again.
    return !(Next(read) == write && receiveRing[read] == kEscape && EscapingOn());
}

bool SerialPort::TransmitDrained() const
{
    return txRead.load(std::memory_order_relaxed) == txWrite.load(std::memory_order_acquire);
}

bool SerialPort::ErrorDue() const
{
    return failed.load(std::memory_order_relaxed) || clearErrorsFailed;
}

bool SerialPort::ReceivedCheck()
{
    if (armedReceived.load(std::memory_order_acquire) == 0 || !UnreadReceived())
        return true;
    return PostIfArmed(armedReceived, WM_SERIAL_RECEIVED, &SerialPort::UnreadReceived);
}

bool SerialPort::SentCheck()
{
    if (armedSent.load(std::memory_order_acquire) == 0 || !TransmitDrained())
        return true;
    return PostIfArmed(armedSent, WM_SERIAL_SENT, &SerialPort::TransmitDrained);
}

bool SerialPort::ErrorCheck()
{
    if (armedError.load(std::memory_order_acquire) == 0 || !ErrorDue())
        return true;
    if (!PostIfArmed(armedError, WM_SERIAL_ERROR, &SerialPort::ErrorDue))
        return false;
    // Told once per arming; a later failure to clear is news again.
    if (armedError.load(std::memory_order_acquire) == 0)
        clearErrorsFailed = false;
    return true;
}
