#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "NetworkPortAddress.h"
#include "Rfc2217Codec.h"
#include "SerialDevice.h"
#include "TcpConnection.h"

// A serial port on a serial device server, reached over TCP with Telnet and
// the Com Port Control Option (RFC 2217): the same port core above it as a
// local device, the same code on every platform.
//
// "Read outstanding" is the I/O thread waiting for the socket to become
// readable, "write outstanding" waiting for it to take more. Line settings,
// flow control and purges travel as Com Port Control commands in the same
// byte stream as the data, so the server applies them in order with it.
//
// Threads: as SerialDevice says. Apply and PurgeReceived come from other
// threads while the I/O thread runs; they only queue their commands (under
// `mutex`) and wake the I/O thread, which alone sends while it runs.
class NetworkSerialDevice final : public SerialDevice {
public:
    NetworkSerialDevice() = default;
    ~NetworkSerialDevice() override;

    bool CanWake() const override;
    SerialOpenError Open(const std::string& name, const SerialLineSettings& settings) override;
    bool Apply(const SerialLineSettings& settings) override;
    void Close(Leftover leftover) override;
    // Keeps the connection: a reopen of the same port then changes only the
    // line, so the server never sees the client leave (a device server may
    // refuse a new connection while it still winds up the old one).
    void Suspend(Leftover leftover) override;
    void Wake() override;
    void RequestStop() override;
    bool BeginThread() override { return true; }
    void EndThread(bool, bool) override {}
    Io StartRead(uint8_t* into, uint32_t room, uint32_t& count) override;
    Io StartWrite(const uint8_t* from, uint32_t length, uint32_t& count) override;
    Events Wait(bool readPending, bool writePending, bool usable, int timeoutMs) override;
    // A device server reports line errors in the data or not at all.
    bool ClearErrors() override { return true; }
    void DropOutput(bool writePending) override;
    bool StopRequested() override;
    void PurgeReceived() override;
    std::string LastOpenDetail() const override;

private:
    using Clock = std::chrono::steady_clock;

    SerialOpenError FailOpen(SerialOpenError why, const std::string& detail);
    SerialOpenError Connect(const NetworkPortAddress& address);
    // Sends what is queued, as far as the connection takes it within the
    // drain limit; false when the connection has closed.
    bool DrainOutgoing();
    // Owner, before the I/O thread: sends what is queued and takes what comes
    // until done() holds (true), the deadline passes or the connection closes
    // (false; `closedWhileOpening` tells which).
    template <typename Done>
    bool Exchange(Clock::time_point deadline, Done done);
    // Takes received bytes into the codec; data goes to `into`. Under `mutex`.
    size_t DecodeLocked(const uint8_t* raw, size_t length, uint8_t* into);
    // Sends queued bytes as far as the socket takes them; false when the
    // connection has closed. Under `mutex`.
    bool FlushLocked();
    void QueueLineSettings(const SerialLineSettings& settings);
    void QueueFlowControl(int32_t flow);
    // What the server said when it turned us away, as far as it said anything.
    bool RefusedAsInUse() const;
    // Keeps what a server that refused us said before it closed (a write of
    // ours may fail first, with the reason still unread).
    void ReadWhatIsLeft();

    TcpConnection connection;
    std::string url;
    std::string openDetail;
    bool closedWhileOpening = false;
    bool kept = false; // suspended with the connection up, for the next Open

    // Guards everything below, which the owner's thread and the I/O thread share.
    mutable std::mutex mutex;
    std::condition_variable answered;
    Rfc2217Codec codec;
    std::vector<uint8_t> outgoing;  // encoded, not yet taken by the socket
    std::vector<uint8_t> early;     // data received while opening, for the first reads
    std::vector<uint8_t> openText;  // the same, kept for the reason of a refusal
    bool discarding = false;        // received data is stale until the purge's answer
    uint32_t purgeAnswersWanted = 0;
    Clock::time_point discardUntil;
    bool stopRequested = false;

    // I/O thread: raw bytes off the socket.
    uint8_t scratch[2048] = {};

    // The far line's pace. A device server takes whatever the network brings
    // and buffers it, so without this a download would count as sent long
    // before the terminal has it, and closing the port then could cut its
    // end off. Writes are taken no faster than the line carries them, a short
    // lead ahead; set by Open, then the I/O thread's (and Close's after it).
    double secondsPerByte = 0;
    Clock::time_point lineFreeAt;
};
