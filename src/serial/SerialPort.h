#pragma once

#include <cstdint>
#include <string>

class NotifyTarget;

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
};
