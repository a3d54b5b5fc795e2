#pragma once

#include "SerialPort.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class NotifyTarget;

// The main window's console port through its whole life: opened from the texts
// the serial page shows, reopened, lent to a serial download and taken back,
// and closed when its device goes away. It knows the line the port really runs
// at, which after a download may differ from what the page asks for. Used on
// the user-interface thread only; a download worker gets the SerialPort itself.
class ConsolePort {
public:
    // A line as the serial page names it: "COM33 (ttyUSB0)", "115200", "8e1".
    struct Settings {
        std::string portText;
        std::string baudText;
        std::string formatText;

        int PortNumber() const;   // 0 without "COM" and digits
        uint32_t BaudRate() const; // 0 when empty
        int Parity() const;       // NoParity, OddParity or EvenParity
        int StopBits() const;     // OneStopBit or TwoStopBits
    };

    enum class Loss {
        None,
        DeviceLost,  // unplugged, or the far end closed the line
        NotReopened, // a reset left the port closed
    };

    explicit ConsolePort(NotifyTarget* notifyTarget);
    ~ConsolePort();
    ConsolePort(const ConsolePort&) = delete;
    ConsolePort& operator=(const ConsolePort&) = delete;

    // Opens the port with 8 data bits and no flow control and arms received-data
    // notifications. False when it cannot be opened; LastOpenError tells why.
    bool Open(const Settings& wanted);
    // Closes the device now, even while a finished worker still holds the object.
    void Close();
    bool IsOpen() const { return port != nullptr; }
    const std::shared_ptr<SerialPort>& Port() const { return port; }
    SerialOpenError LastOpenError() const { return lastOpenError; }
    // The reason in an operator's words where the error alone says too little
    // (a port on a device server); else empty.
    const std::string& LastOpenDetail() const { return lastOpenDetail; }
    int PortNumber() const;

    // "&Port COM40 (pts/3) open\r\n115200, 8n1": the settings the line really runs
    // at, with its flow control when a download left one on.
    std::string ToggleText() const;
    // True when the open port runs exactly as wanted, without flow control.
    bool RunsAs(const Settings& wanted) const;

    // The single-reader rule: from here until TakeBack, the download worker is
    // the port's only reader until it arms notifications for its transfer.
    void LendToWorker();
    // At the worker's end: registers the window again (a reset reopened the port
    // without it) and arms received-data notifications.
    void TakeBack();
    bool IsLent() const { return lent; }

    // On a received-data notification: re-arms and reads at most maxCount bytes.
    // Returns 0 without touching the port while the worker is its reader, so a
    // notification posted before the worker took over is simply dropped.
    int ReadForDisplay(uint8_t* buffer, int maxCount);

    // Queues bytes to send, waiting at most timeoutMs for room; returns how many
    // were queued. Nothing more is attempted once the port has failed.
    uint32_t Send(const std::vector<uint8_t>& bytes, int timeoutMs);

    Loss CheckLoss() const;
    // In words, with what to do; empty for Loss::None.
    std::string LossText(Loss loss) const;

private:
    NotifyTarget* notifyTarget;
    std::shared_ptr<SerialPort> port;
    std::string portText;
    SerialOpenError lastOpenError = SerialOpenError::None;
    std::string lastOpenDetail;
    bool lent = false;
    uint32_t armingsWhenLent = 0;
};
