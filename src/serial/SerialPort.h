#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "SerialLineSettings.h"
#include "SystemSerialLock.h"

class NotifyTarget;
class SerialDevice;

// Notifications posted to the registered NotifyTarget (one-shot each).
constexpr uint32_t WM_SERIAL_RECEIVED = 1280;
constexpr uint32_t WM_SERIAL_SENT = 1281;
constexpr uint32_t WM_SERIAL_ERROR = 1282;

// Bits of the notification mask.
constexpr uint32_t NotifyReceived = 1;
constexpr uint32_t NotifySent = 2;

enum class FlowControl : int32_t {
    None = 0,
    XonXoff = 1,
    RtsCts = 2,
    DsrDtr = 3,
    RtsCtsDsrDtr = 4,
};

// Line setting codes, as the open calls take them.
constexpr int NoParity = 0;
constexpr int OddParity = 1;
constexpr int EvenParity = 2;
constexpr int OneStopBit = 0;
constexpr int OneAndHalfStopBits = 1;
constexpr int TwoStopBits = 2;

// Why the last Open failed, in terms an operator can act on.
enum class SerialOpenError {
    None,
    NoSuchDevice,
    InUse,
    PermissionDenied,
    RateNotSupported,
    Other,
};

// One serial device with its I/O thread, two 2048-byte rings, XON/XOFF escaping
// and one-shot notifications. (Public interface; the driver owns the rest.)
class SerialPort {
public:
    SerialPort();
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool Open(const std::string& deviceName, uint32_t baudRate, int alwaysEscape, int parity,
              int stopBits, int byteSize, FlowControl flow);
    bool OpenByNumber(int portNumber, uint32_t baudRate, int alwaysEscape, int parity,
                      int stopBits, int byteSize, FlowControl flow);
    void Close();
    bool SetNotifyWindow(NotifyTarget* window, uint32_t mask);
    void SetNotifications(uint32_t bits, int value);
    bool SetFlowControl(FlowControl flow);
    void FlushReceived();
    int Read(uint8_t* buffer, int maxCount, int waitMs);
    int Write(const uint8_t* data, uint32_t length, bool waitUntilSent);
    int PortNumber() const;

    // The device went away (unplugged, far end closed): no more I/O is issued
    // and every Write returns at once.
    bool HasFailed() const;
    // From any thread: a Write waiting for room or for its bytes to leave returns
    // promptly and the queued bytes are dropped.
    void AbortWrite();
    // Waits at most timeoutMs for the transmit ring to drain; true when drained.
    bool WaitUntilSent(int timeoutMs);
    SerialOpenError LastOpenError() const;
    // Why the last Open failed in an operator's words where the error alone
    // says too little (a device server that refused, or is unreachable); else empty.
    std::string LastOpenDetail() const;
    // The port as texts name it: "COM12", or the name it was opened by when it
    // has no number (a network port given as "rfc2217://HOST:PORT").
    std::string PortName() const;
    // Closes the port and opens the same one again with new settings, by the
    // name it was last opened by (its number stays). On a network port this
    // is a new connection, set up afresh.
    bool Reopen(uint32_t baudRate, int alwaysEscape, int parity, int stopBits, int byteSize, FlowControl flow);

    // Like Write without waiting for the bytes to leave, but gives up once
    // timeoutMs have passed without room in the transmit ring (a line held by
    // flow control, nobody reading). Returns how many of the bytes were queued;
    // the rest are not sent.
    uint32_t WriteWithin(const uint8_t* data, uint32_t length, int timeoutMs);

    bool IsOpen() const;
    // The line settings as last applied by Open or SetFlowControl. Owner side:
    // call it where no other thread can be opening the port or changing its
    // flow control at the same time.
    SerialLineSettings AppliedLine() const;
    // How many times received-data notifications have been armed. An owner that
    // lends the reading of the port to another thread notes it at the hand-over:
    // while it is unchanged, a notification it gets was posted before the
    // borrower disarmed, and reading then would race the borrower.
    uint32_t ReceiveArmCount() const;

    static constexpr uint32_t RingSize = 2048;

private:
    bool FailOpen(SerialOpenError why);
    // Close, or with keepConnection the first half of a Reopen.
    void Shut(bool keepConnection);
    bool EscapingOn() const;
    void Wake();
    bool WriteAborted(uint32_t abortTicket) const;
    bool WaitForRoom(uint32_t slots, uint32_t abortTicket, std::chrono::steady_clock::time_point deadline);
    uint32_t Queue(const uint8_t* data, uint32_t length, bool waitUntilSent,
                   std::chrono::steady_clock::time_point deadline);
    void WaitForAbortHandled(uint32_t abortTicket);
    void ConsumedReceived(uint32_t newRead);

    // I/O thread.
    void IoThreadMain();
    bool ReceivePass(bool& readPending, bool& retrySoon);
    bool TransmitPass(bool& writePending, bool stop, int& drainPasses, bool& sentCheckDue,
                      bool& retrySoon, bool& leave);
    void ReadCompleted(uint32_t count);
    void WriteCompleted(uint32_t count, bool& sentCheckDue);
    bool HandleAbortRequest(bool& writePending);
    bool ParkReceiver();
    void MarkFailed();
    bool PostIfArmed(std::atomic<int>& armed, uint32_t message, bool (SerialPort::*stillDue)() const);
    bool UnreadReceived() const;
    bool TransmitDrained() const;
    bool ErrorDue() const;
    bool ReceivedCheck();
    bool SentCheck();
    bool ErrorCheck();

    SerialDevice* Device() const;

    // The device the port runs on: the platform's own serial device, or a
    // port on a device server, chosen by the name at each Open. Both live as
    // long as the port (the network one from its first use), so that a wake
    // from any thread never meets a device that is going away.
    std::unique_ptr<SerialDevice> localDevice;
    std::unique_ptr<SerialDevice> networkDevice;
    std::atomic<SerialDevice*> device{nullptr};
    std::string openedName; // owner side, as given to Open

    // Owner-side state: written only by Open, Close and SetFlowControl.
    std::atomic<int> portNumber{0};
    std::thread ioThread;
    SerialLineSettings lineSettings;
    // XON/XOFF is on: escaping follows it, judged for every byte.
    std::atomic<bool> outX{false};
    // Written only by the I/O thread: 1 while it runs.
    std::atomic<int> threadRunning{0};
    std::atomic<int> isOpen{0};

    // Notification fields, guarded by the shared lock (SetNotifications writes
    // the armed flags without it).
    std::atomic<uint32_t> notifyMask{0};
    std::atomic<int> armedSent{0};
    std::atomic<int> armedReceived{0};
    std::atomic<int> armedError{0};
    std::atomic<uint32_t> receiveArmings{0};
    std::atomic<NotifyTarget*> notifyWindow{nullptr};
    SystemSerialLock lock;
    std::atomic<int> alwaysEscape{0};

    // Single-producer, single-consumer rings; each index has one writer, which
    // publishes the bytes before it with a release store.
    uint8_t receiveRing[RingSize] = {};  // as received, still escaped
    uint8_t transmitRing[RingSize] = {}; // as sent, already escaped
    std::atomic<uint32_t> rxWrite{0};    // I/O thread
    std::atomic<uint32_t> txRead{0};     // I/O thread
    std::atomic<uint32_t> rxRead{0};     // Read and FlushReceived
    std::atomic<uint32_t> txWrite{0};    // Write

    // Set by the I/O thread when the receive ring is full and it stops reading;
    // Read wakes it once room appears.
    std::atomic<bool> receiverParked{false};
    std::atomic<bool> failed{false};
    // I/O thread only: clearing the device's error state failed after a read,
    // and the error notification has not told of it yet.
    bool clearErrorsFailed = false;
    // The thread abandoned a write that flow control held (drain limit reached).
    bool abandonedWrite = false;
    // AbortWrite bumps the request count; the I/O thread drops the queued bytes
    // and then publishes the same count as handled.
    std::atomic<uint32_t> abortRequests{0};
    std::atomic<uint32_t> abortsHandled{0};
    // Guard threadRunning's changes, so that Open can wait for the thread's
    // start and Close for its end.
    std::mutex exitMutex;
    std::condition_variable exitSignal;
    SerialOpenError lastOpenError = SerialOpenError::None;
};
