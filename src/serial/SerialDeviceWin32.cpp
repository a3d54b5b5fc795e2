#include "SerialDevice.h"
#include "SerialLineSettings.h"

#include "ComPortNames.h"
#include "SerialPort.h"

#include <windows.h>

#include <atomic>

namespace {

// Device queues that absorb bursts while the receive ring is full.
constexpr DWORD kDeviceQueueSize = 4096;
// A read completes as soon as a burst pauses for this long, so received bytes
// reach the ring and the window promptly; it waits without limit for its first
// byte, and writes never time out.
constexpr DWORD kReadIntervalTimeoutMs = 1;
// XON is sent once the device's input queue holds no more than this, XOFF once
// it has less room than this; a quarter of the queue either way.
constexpr WORD kFallbackFlowLimit = kDeviceQueueSize / 4;
constexpr DWORD kCommEvents = EV_RXCHAR | EV_BREAK | EV_ERR;

constexpr int32_t kXonXoff = 1;
constexpr int32_t kRtsCts = 2;
constexpr int32_t kDsrDtr = 3;
constexpr int32_t kRtsCtsDsrDtr = 4;

// The wait list: the wake event always, then the completion events of what is
// outstanding.
constexpr DWORD kWakeSlot = 0;

// Errors by which a serial driver says that its device has gone (a USB adapter
// pulled, a driver stopped, the far side of a virtual port closed). Retrying
// such a device would only fail again.
bool DeviceGone(DWORD error)
{
    switch (error) {
    case ERROR_BROKEN_PIPE:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY:
        return true;
    default:
        return false;
    }
}

SerialOpenError OpenErrorFrom(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_NAME:
        return SerialOpenError::NoSuchDevice;
    // A COM port is opened without sharing: another holder shows as a denied open.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return SerialOpenError::InUse;
    default:
        return SerialOpenError::Other;
    }
}

// "COM12", "COM12 (...)" and "\\.\COM12" all open "\\.\COM12", the only form
// that reaches ports above COM9.
std::string DeviceName(const std::string& name)
{
    if (name.rfind("\\\\.\\", 0) == 0)
        return name;
    const int number = ComPortNames::ParseNumber(name);
    return number > 0 ? ComPortNames::DevicePath(number) : name;
}

// Flow control and the flags that are the same for every type.
void FillFlowControl(DCB& dcb, int32_t flow)
{
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fNull = 0;
    dcb.fDsrSensitivity = 0;
    dcb.fErrorChar = 0;
    dcb.fAbortOnError = 0;
    dcb.fTXContinueOnXoff = 1;
    const bool handshake = flow == kRtsCts || flow == kRtsCtsDsrDtr;
    const bool dsr = flow == kDsrDtr || flow == kRtsCtsDsrDtr;
    dcb.fOutX = flow == kXonXoff ? 1 : 0;
    dcb.fInX = flow == kXonXoff ? 1 : 0;
    dcb.fOutxCtsFlow = handshake ? 1 : 0;
    dcb.fRtsControl = handshake ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutxDsrFlow = dsr ? 1 : 0;
    dcb.fDtrControl = dsr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
}

// A COM port opened for overlapped I/O: one read and one write outstanding at
// a time, each with its own manual-reset completion event, and an auto-reset
// wake event; the stop request arrives as WM_QUIT in the I/O thread's queue.
class SerialDeviceWin32 final : public SerialDevice {
public:
    SerialDeviceWin32()
    {
        // Made once for the device's whole life, so that Wake from any thread
        // never meets an event that Open or Close is replacing.
        wakeEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }

    ~SerialDeviceWin32() override
    {
        Close(Leftover::Ignore);
        if (wakeEvent != nullptr)
            ::CloseHandle(wakeEvent);
    }

    bool CanWake() const override { return wakeEvent != nullptr; }

    SerialOpenError Open(const std::string& name, const SerialLineSettings& settings) override
    {
        portHandle = ::CreateFileA(DeviceName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (portHandle == INVALID_HANDLE_VALUE)
            return OpenErrorFrom(::GetLastError());
        const SerialOpenError result = Configure(settings);
        if (result != SerialOpenError::None)
            Close(Leftover::Ignore);
        return result;
    }

    bool Apply(const SerialLineSettings& settings) override
    {
        // Only software flow control and the RTS handshake change; DTR and DSR
        // stay as the open set them.
        const int32_t flow = settings.flow;
        lineSettings.fOutX = flow == kXonXoff ? 1 : 0;
        lineSettings.fInX = flow == kXonXoff ? 1 : 0;
        lineSettings.fOutxCtsFlow = flow == kRtsCts ? 1 : 0;
        lineSettings.fRtsControl = flow == kRtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
        return ::SetCommState(portHandle, &lineSettings) != 0;
    }

    void Close(Leftover leftover) override
    {
        if (portHandle == INVALID_HANDLE_VALUE)
            return;
        // The driver sends what it holds on its own; what the drain limit
        // gave up on must not hold the close.
        if (leftover == Leftover::Drop)
            ::PurgeComm(portHandle, PURGE_TXABORT | PURGE_TXCLEAR);
        ::CloseHandle(portHandle);
        portHandle = INVALID_HANDLE_VALUE;
    }

    void Wake() override { ::SetEvent(wakeEvent); }

    void RequestStop() override
    {
        ::PostThreadMessageA(ioThreadId.load(std::memory_order_acquire), WM_QUIT, 0, 0);
        Wake();
    }

    bool BeginThread() override
    {
        // The queue must exist before the thread reports that it runs, or a
        // stop request posted right after would be lost.
        MSG message;
        ::PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        ioThreadId.store(::GetCurrentThreadId(), std::memory_order_release);
        readDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        writeDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (readDone == nullptr || writeDone == nullptr) {
            ReleaseCompletionEvents();
            return false;
        }
        return true;
    }

    void EndThread(bool readPending, bool writePending) override
    {
        // An outstanding read or write still owns its OVERLAPPED record and
        // its part of the ring: cancel it and let it finish before either goes.
        if (readPending)
            Settle(readRecord);
        if (writePending)
            Settle(writeRecord);
        ReleaseCompletionEvents();
    }

    Io StartRead(uint8_t* into, uint32_t room, uint32_t& count) override
    {
        count = 0;
        readRecord = {};
        readRecord.hEvent = readDone;
        DWORD got = 0;
        if (::ReadFile(portHandle, into, room, &got, &readRecord)) {
            count = got;
            // Nothing at once with no error: look again soon rather than at once.
            return got > 0 ? Io::Done : Io::Retry;
        }
        return Outcome(::GetLastError());
    }

    Io StartWrite(const uint8_t* from, uint32_t length, uint32_t& count) override
    {
        count = 0;
        writeRecord = {};
        writeRecord.hEvent = writeDone;
        DWORD sent = 0;
        if (::WriteFile(portHandle, from, length, &sent, &writeRecord)) {
            count = sent;
            return sent > 0 ? Io::Done : Io::Retry;
        }
        return Outcome(::GetLastError());
    }

    Events Wait(bool readPending, bool writePending, bool usable, int timeoutMs) override
    {
        Events events;
        HANDLE slots[3] = {wakeEvent, nullptr, nullptr};
        OVERLAPPED* records[3] = {nullptr, nullptr, nullptr};
        DWORD used = 1;
        if (usable && readPending) {
            slots[used] = readDone;
            records[used++] = &readRecord;
        }
        if (usable && writePending) {
            slots[used] = writeDone;
            records[used++] = &writeRecord;
        }
        const DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
        const DWORD result = ::WaitForMultipleObjects(used, slots, FALSE, limit);
        if (result < WAIT_OBJECT_0 + 1 || result >= WAIT_OBJECT_0 + used)
            return events; // the wake event, the time limit, or a failed wait
        OVERLAPPED* record = records[result - WAIT_OBJECT_0];
        DWORD moved = 0;
        bool done = true;
        if (!::GetOverlappedResult(portHandle, record, &moved, FALSE)) {
            const DWORD error = ::GetLastError();
            // Signalled but not finished cannot last; look again next pass.
            done = error != ERROR_IO_INCOMPLETE;
            // A cancelled or failed operation is offered again on the next pass
            // (nothing was moved); a vanished device is not.
            events.gone = DeviceGone(error);
            moved = 0;
        }
        if (record == &readRecord) {
            events.readDone = done;
            events.readCount = moved;
        } else {
            events.writeDone = done;
            events.writeCount = moved;
        }
        return events;
    }

    bool ClearErrors() override
    {
        DWORD errors = 0;
        COMSTAT status{};
        return ::ClearCommError(portHandle, &errors, &status) != 0;
    }

    void DropOutput(bool writePending) override
    {
        if (writePending)
            Settle(writeRecord);
        ::PurgeComm(portHandle, PURGE_TXABORT | PURGE_TXCLEAR);
    }

    bool StopRequested() override
    {
        // At most one message a pass, as the thread's own queue is otherwise
        // only there for the stop request.
        MSG message;
        if (!::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            return false;
        if (message.message == WM_QUIT)
            return true;
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
        return false;
    }

private:
    SerialOpenError Configure(const SerialLineSettings& settings)
    {
        lineSettings = {};
        lineSettings.DCBlength = sizeof(DCB);
        // A driver that cannot report its state (wine's pseudo-terminal ports
        // cannot read modem lines) may still take settings: start from the
        // usual thresholds then, and let SetCommState judge.
        if (!::GetCommState(portHandle, &lineSettings)) {
            lineSettings = {};
            lineSettings.DCBlength = sizeof(DCB);
            lineSettings.XonLim = kFallbackFlowLimit;
            lineSettings.XoffLim = kFallbackFlowLimit;
        }
        lineSettings.ByteSize = static_cast<BYTE>(settings.byteSize);
        lineSettings.BaudRate = settings.baudRate;
        lineSettings.Parity = static_cast<BYTE>(settings.parity);
        lineSettings.StopBits = static_cast<BYTE>(settings.stopBits);
        FillFlowControl(lineSettings, settings.flow);
        lineSettings.XonChar = XonByte;
        lineSettings.XoffChar = XoffByte;
        if (!::SetCommState(portHandle, &lineSettings))
            return ::GetLastError() == ERROR_INVALID_PARAMETER ? SerialOpenError::RateNotSupported
                                                               : SerialOpenError::Other;

        if (!::GetCommTimeouts(portHandle, &timeouts))
            return SerialOpenError::Other;
        timeouts.ReadIntervalTimeout = kReadIntervalTimeoutMs;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = 0;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = 0;
        if (!::SetCommTimeouts(portHandle, &timeouts))
            return SerialOpenError::Other;
        if (!::SetupComm(portHandle, kDeviceQueueSize, kDeviceQueueSize))
            return SerialOpenError::Other;
        // Nothing waits on these events; the device only has to accept them.
        if (!::SetCommMask(portHandle, kCommEvents))
            return SerialOpenError::Other;
        return SerialOpenError::None;
    }

    static Io Outcome(DWORD error)
    {
        if (error == ERROR_IO_PENDING)
            return Io::Pending;
        return DeviceGone(error) ? Io::Gone : Io::Retry;
    }

    // Cancels an outstanding operation and waits until the driver is done
    // with it (it then reports ERROR_OPERATION_ABORTED, or its completion).
    void Settle(OVERLAPPED& record)
    {
        ::CancelIoEx(portHandle, &record);
        DWORD moved = 0;
        ::GetOverlappedResult(portHandle, &record, &moved, TRUE);
    }

    void ReleaseCompletionEvents()
    {
        if (readDone != nullptr)
            ::CloseHandle(readDone);
        if (writeDone != nullptr)
            ::CloseHandle(writeDone);
        readDone = nullptr;
        writeDone = nullptr;
    }

    HANDLE portHandle = INVALID_HANDLE_VALUE;
    DCB lineSettings{};
    COMMTIMEOUTS timeouts{};
    HANDLE wakeEvent = nullptr;
    std::atomic<DWORD> ioThreadId{0};
    // The I/O thread's own.
    HANDLE readDone = nullptr;
    HANDLE writeDone = nullptr;
    OVERLAPPED readRecord{};
    OVERLAPPED writeRecord{};
};

} // namespace

std::unique_ptr<SerialDevice> SerialDevice::Create()
{
    return std::make_unique<SerialDeviceWin32>();
}
