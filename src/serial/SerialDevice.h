#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "SerialLineSettings.h"

enum class SerialOpenError;

// What the port core (SerialPort: rings, escaping, notifications, the passes
// of the I/O thread) needs of one platform's serial device. One implementation
// per platform, chosen by the build: SerialDevicePosix.cpp, SerialDeviceWin32.cpp.
//
// Threads: Open, Apply and Close are the owner's and never run while the I/O
// thread does anything but wait; Wake and RequestStop may come from any thread;
// everything else is the I/O thread's alone. Buffers handed to StartRead and
// StartWrite stay valid (they are the port's rings) until the operation is
// reported done or EndThread has returned.
class SerialDevice {
public:
    // How an attempt to read or write went.
    enum class Io {
        Done,    // moved `count` bytes at once (a count of 0: nothing yet, try again soon)
        Pending, // outstanding; Wait reports when it is done
        Retry,   // failed outright for a passing reason; offer it again soon
        Gone,    // the device has gone (unplugged, far end closed)
    };

    // What a wait saw. A finished read or write moved `count` bytes; a count of
    // 0 means only that it is no longer outstanding (the POSIX device reports
    // readiness, not data) and may be offered again.
    struct Events {
        bool readDone = false;
        uint32_t readCount = 0;
        bool writeDone = false;
        uint32_t writeCount = 0;
        bool gone = false;
    };

    // The platform's own serial device.
    static std::unique_ptr<SerialDevice> Create();
    // A serial port on a device server (NetworkSerialDevice), the same on every
    // platform; it opens names of the form "rfc2217://HOST:PORT".
    static std::unique_ptr<SerialDevice> CreateNetwork();
    virtual ~SerialDevice() = default;

    // False when the wake event could not be made; such a device never opens.
    virtual bool CanWake() const = 0;
    // Opens the named device without sharing and applies the settings.
    // SerialOpenError::None on success; on failure nothing stays open.
    virtual SerialOpenError Open(const std::string& name, const SerialLineSettings& settings) = 0;
    // Applies changed flow control to the open device.
    virtual bool Apply(const SerialLineSettings& settings) = 0;
    // What Close does with bytes the device still holds.
    enum class Leftover {
        Drain, // let them leave while the line moves, then drop the rest
        Drop,  // the drain limit gave up on them: drop them
        Ignore, // nothing was sent (a failed open) or nothing can be (a failed device)
    };
    // After the I/O thread has ended. Harmless when closed.
    virtual void Close(Leftover leftover) = 0;
    // For a reopen with new settings, after the I/O thread has ended: like
    // Close, but a device that can keep its connection keeps it for the next
    // Open of the same name, which then only sets the line anew.
    virtual void Suspend(Leftover leftover) { Close(leftover); }

    // Any thread.
    virtual void Wake() = 0;
    virtual void RequestStop() = 0;

    // The I/O thread.
    // Before anything else; false when the thread cannot do its I/O (no
    // completion events), and the port then counts as failed.
    virtual bool BeginThread() = 0;
    // Last: settles whatever is still outstanding, so that the rings may go.
    virtual void EndThread(bool readPending, bool writePending) = 0;
    virtual Io StartRead(uint8_t* into, uint32_t room, uint32_t& count) = 0;
    virtual Io StartWrite(const uint8_t* from, uint32_t length, uint32_t& count) = 0;
    // Waits for the wake event or the completion of what is outstanding, at
    // most timeoutMs (negative: no limit). usable is false once the device
    // failed; only the wake event counts then.
    virtual Events Wait(bool readPending, bool writePending, bool usable, int timeoutMs) = 0;
    // After each completed read: false when the device's error state could
    // not be cleared.
    virtual bool ClearErrors() = 0;
    // Drops what waits to be sent, in the device and in an outstanding write,
    // which is no longer outstanding afterwards.
    virtual void DropOutput(bool writePending) = 0;
    // Takes the stop request once it has come.
    virtual bool StopRequested() = 0;

    // The reader's thread, from FlushReceived: also drop what the device, or
    // the device server behind it, still holds for the reader. Harmless when
    // closed.
    virtual void PurgeReceived() {}
    // Why the last Open failed, in an operator's words, where the open error
    // alone does not say enough (a device server's address); else empty.
    virtual std::string LastOpenDetail() const { return std::string(); }
};
