#include "NetworkSerialDevice.h"

#include "SerialPort.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <thread>

namespace {

using Milliseconds = std::chrono::milliseconds;

// A device server on the plant network answers a connection at once; one that
// has not within this is unreachable for the operator's purpose, and saying so
// beats a wait of minutes for the system's own time-out.
constexpr Milliseconds kConnectTimeout(3000);
// A Telnet server must answer our opening; one silent for this long is no
// RFC 2217 server (a raw TCP port, say).
constexpr Milliseconds kNegotiationWait(2000);
// How long to listen before our offers go out (see Connect).
constexpr Milliseconds kFirstWordsWait(100);
// Answers to line settings are awaited this long and no longer: a server may
// leave them out (ser2net does for SET-CONTROL on a line without modem lines).
constexpr Milliseconds kAnswerWait(1000);
// Received data counts as stale until the server answers a purge, or until
// this long has passed without an answer.
constexpr Milliseconds kPurgeDiscardLimit(1000);
// Close lets queued bytes leave as long as the connection takes them; when it
// has taken nothing for this long (a line held by flow control), the rest is
// dropped, as for a local device.
constexpr Milliseconds kDrainStallLimit(2300);
constexpr int kDrainPollMs = 10;
// Bytes of the transmit ring encoded per write: the socket takes them at once
// while the connection moves, and no more is held here than a line takes in a
// moment.
constexpr uint32_t kWriteChunk = 1024;
// How far writes may run ahead of the far line: enough to keep it busy across
// the network's delays, little enough that "sent" still means "on the line"
// to an operator watching the progress bar.
constexpr Milliseconds kLineLead(250);
constexpr uint32_t kMinimumLeadBytes = 64;

// RFC 2217 codes of the open calls' parity and stop-bit codes.
uint8_t ParityCode(int parity)
{
    switch (parity) {
    case OddParity: return 2;
    case EvenParity: return 3;
    case 3: return 4; // mark
    case 4: return 5; // space
    default: return 1;
    }
}

uint8_t StopSizeCode(int stopBits)
{
    switch (stopBits) {
    case TwoStopBits: return 2;
    case OneAndHalfStopBits: return 3;
    default: return 1;
    }
}

uint32_t BigEndian(const std::vector<uint8_t>& value)
{
    uint32_t number = 0;
    for (uint8_t byte : value)
        number = (number << 8) | byte;
    return number;
}

} // namespace

std::unique_ptr<SerialDevice> SerialDevice::CreateNetwork()
{
    return std::make_unique<NetworkSerialDevice>();
}

NetworkSerialDevice::~NetworkSerialDevice()
{
    Close(Leftover::Ignore);
}

bool NetworkSerialDevice::CanWake() const
{
    return connection.CanWake();
}

SerialOpenError NetworkSerialDevice::FailOpen(SerialOpenError why, const std::string& detail)
{
    openDetail = detail;
    Close(Leftover::Ignore);
    return why;
}

SerialOpenError NetworkSerialDevice::Open(const std::string& name, const SerialLineSettings& settings)
{
    openDetail.clear();
    closedWhileOpening = false;
    {
        std::lock_guard<std::mutex> guard(mutex);
        stopRequested = false;
    }
    NetworkPortAddress address;
    std::string why;
    if (!NetworkPortAddress::Parse(name, address, &why)) {
        Close(Leftover::Ignore);
        openDetail = why;
        return SerialOpenError::NoSuchDevice;
    }
    // A reopen of the same port goes on over the kept connection.
    const bool reuse = kept && connection.IsConnected() && address.Url() == url;
    kept = false;
    if (!reuse) {
        Close(Leftover::Ignore);
        url = address.Url();
        const SerialOpenError connected = Connect(address);
        if (connected != SerialOpenError::None)
            return connected;
    }

    const std::string inUse =
        "Another client is using " + url + ".  Please close the other program or session, then try again.";
    const std::string closed = url + " closed the connection while the port was being set up.";
    uint32_t before[Rfc2217Codec::SetStopSize + 1] = {};
    {
        std::lock_guard<std::mutex> guard(mutex);
        for (uint8_t command = Rfc2217Codec::SetBaudRate; command <= Rfc2217Codec::SetStopSize; ++command)
            before[command] = codec.AnswerTo(command).count;
    }
    QueueLineSettings(settings);
    const bool answered = Exchange(Clock::now() + kAnswerWait, [&] {
        for (uint8_t command = Rfc2217Codec::SetBaudRate; command <= Rfc2217Codec::SetStopSize; ++command)
            if (codec.AnswerTo(command).count == before[command])
                return false;
        return true;
    });
    if (!answered && closedWhileOpening)
        return FailOpen(RefusedAsInUse() ? SerialOpenError::InUse : SerialOpenError::Other,
                        RefusedAsInUse() ? inUse : closed);
    // A server that answers with another rate than asked for does not run the
    // line at ours. (0 would be a query, which we never send here.)
    const Rfc2217Codec::Answer& rate = codec.AnswerTo(Rfc2217Codec::SetBaudRate);
    if (rate.count > before[Rfc2217Codec::SetBaudRate] && rate.value.size() == 4 &&
        BigEndian(rate.value) != settings.baudRate)
        return FailOpen(SerialOpenError::RateNotSupported,
                        url + " does not support " + std::to_string(settings.baudRate) + " baud.  Pick another rate.");
    openText.clear();
    // Start bit, data bits, parity bit, stop bits (one and a half counts as two).
    const int bits = 1 + settings.byteSize + (settings.parity != NoParity ? 1 : 0) +
                     (settings.stopBits == OneStopBit ? 1 : 2);
    secondsPerByte = settings.baudRate > 0 ? static_cast<double>(bits) / settings.baudRate : 0;
    lineFreeAt = std::max(lineFreeAt, Clock::now());
    return SerialOpenError::None;
}

SerialOpenError NetworkSerialDevice::Connect(const NetworkPortAddress& address)
{
    switch (connection.Connect(address.host, address.port, static_cast<int>(kConnectTimeout.count()))) {
    case TcpConnection::ConnectResult::Connected:
        break;
    case TcpConnection::ConnectResult::NoSuchHost:
        return FailOpen(SerialOpenError::NoSuchDevice,
                        "The host of " + url + " is not known.  Please check its name.");
    case TcpConnection::ConnectResult::LookupTimedOut:
        return FailOpen(SerialOpenError::NoSuchDevice,
                        "The host of " + url + " could not be looked up within " +
                            std::to_string(kConnectTimeout.count() / 1000) +
                            " seconds.  Please check its name and the network's name server, or give its address.");
    case TcpConnection::ConnectResult::Refused:
        return FailOpen(SerialOpenError::NoSuchDevice,
                        url + " refused the connection: nothing listens there.  Please check the address and "
                              "port, and that the device server is running.");
    case TcpConnection::ConnectResult::Unreachable:
        return FailOpen(SerialOpenError::NoSuchDevice,
                        url + " cannot be reached: the host is unreachable.  Please check the network and the "
                              "device server's address.");
    case TcpConnection::ConnectResult::TimedOut:
        return FailOpen(SerialOpenError::NoSuchDevice,
                        url + " did not answer within " + std::to_string(kConnectTimeout.count() / 1000) +
                            " seconds: the host is unreachable or turned off.  Please check the network and "
                            "the device server's address.");
    case TcpConnection::ConnectResult::Failed:
        return FailOpen(SerialOpenError::Other, "No connection to " + url + " could be made.");
    }

    // A server that refuses us says why and closes at once. Were our offers
    // already on their way, its close would reset the connection and the
    // reason would be lost. Servers open with offers of their own, so
    // listening first costs nothing where all is well.
    connection.Wait(true, false, static_cast<int>(kFirstWordsWait.count()));
    {
        std::lock_guard<std::mutex> guard(mutex);
        Rfc2217Codec::AppendNegotiation(outgoing);
    }
    const bool negotiated = Exchange(Clock::now() + kNegotiationWait,
                                     [this] { return codec.ComPort() != Rfc2217Codec::Option::Asked; });
    if (!negotiated && closedWhileOpening && RefusedAsInUse())
        return FailOpen(SerialOpenError::InUse, "Another client is using " + url +
                                                    ".  Please close the other program or session, then try again.");
    if (!negotiated && closedWhileOpening)
        return FailOpen(SerialOpenError::Other, url + " closed the connection while the port was being set up.");
    if (!negotiated || codec.ComPort() == Rfc2217Codec::Option::Refused)
        return FailOpen(SerialOpenError::Other,
                        url + " does not control a serial port (RFC 2217).  Please check that the device server's "
                              "port is set up for it (in ser2net: accepter telnet(rfc2217)).");
    return SerialOpenError::None;
}

template <typename Done>
bool NetworkSerialDevice::Exchange(Clock::time_point deadline, Done done)
{
    for (;;) {
        bool pendingOutput = false;
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (done())
                return true;
            if (!FlushLocked())
                closedWhileOpening = true;
            pendingOutput = !outgoing.empty();
        }
        if (closedWhileOpening) {
            ReadWhatIsLeft();
            return false;
        }
        const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        const TcpConnection::Ready ready = connection.Wait(true, pendingOutput, static_cast<int>(left.count()));
        if (!ready.readable && !ready.closed)
            continue;
        size_t got = 0;
        if (connection.Receive(scratch, sizeof scratch, got) == TcpConnection::Transfer::Closed) {
            closedWhileOpening = true;
            return false;
        }
        std::lock_guard<std::mutex> guard(mutex);
        uint8_t data[sizeof scratch];
        const size_t count = DecodeLocked(scratch, got, data);
        early.insert(early.end(), data, data + count);
        openText.insert(openText.end(), data, data + count);
    }
}

void NetworkSerialDevice::ReadWhatIsLeft()
{
    // Bounded: a refusal is one short line, and the connection is closing.
    for (int pass = 0; pass < 16; ++pass) {
        size_t got = 0;
        if (connection.Receive(scratch, sizeof scratch, got) != TcpConnection::Transfer::Moved)
            return;
        std::lock_guard<std::mutex> guard(mutex);
        uint8_t data[sizeof scratch];
        const size_t count = DecodeLocked(scratch, got, data);
        openText.insert(openText.end(), data, data + count);
    }
}

bool NetworkSerialDevice::RefusedAsInUse() const
{
    // ser2net says "Port already in use"; other servers say much the same.
    std::string text(openText.begin(), openText.end());
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text.find("in use") != std::string::npos || text.find("busy") != std::string::npos;
}

void NetworkSerialDevice::QueueLineSettings(const SerialLineSettings& settings)
{
    std::lock_guard<std::mutex> guard(mutex);
    Rfc2217Codec::AppendBaudRate(settings.baudRate, outgoing);
    Rfc2217Codec::AppendCommand(Rfc2217Codec::SetDataSize, static_cast<uint8_t>(settings.byteSize), outgoing);
    Rfc2217Codec::AppendCommand(Rfc2217Codec::SetParity, ParityCode(settings.parity), outgoing);
    Rfc2217Codec::AppendCommand(Rfc2217Codec::SetStopSize, StopSizeCode(settings.stopBits), outgoing);
    QueueFlowControl(settings.flow);
    Rfc2217Codec::AppendCommand(Rfc2217Codec::SetControl,
                                settings.dtrOn ? Rfc2217Codec::ControlDtrOn : Rfc2217Codec::ControlDtrOff, outgoing);
}

// Under `mutex`. Outbound and inbound flow control together, and RTS held on
// unless the handshake drives it.
void NetworkSerialDevice::QueueFlowControl(int32_t flow)
{
    const bool xonXoff = flow == static_cast<int32_t>(FlowControl::XonXoff);
    const bool handshake =
        flow == static_cast<int32_t>(FlowControl::RtsCts) || flow == static_cast<int32_t>(FlowControl::RtsCtsDsrDtr);
    Rfc2217Codec::AppendCommand(Rfc2217Codec::SetControl,
                                xonXoff     ? Rfc2217Codec::ControlXonXoff
                                : handshake ? Rfc2217Codec::ControlHardware
                                            : Rfc2217Codec::ControlNoFlow,
                                outgoing);
    Rfc2217Codec::AppendCommand(Rfc2217Codec::SetControl,
                                xonXoff     ? Rfc2217Codec::ControlInboundXonXoff
                                : handshake ? Rfc2217Codec::ControlInboundHardware
                                            : Rfc2217Codec::ControlInboundNoFlow,
                                outgoing);
    if (!handshake)
        Rfc2217Codec::AppendCommand(Rfc2217Codec::SetControl, Rfc2217Codec::ControlRtsOn, outgoing);
}

bool NetworkSerialDevice::Apply(const SerialLineSettings& settings)
{
    std::unique_lock<std::mutex> guard(mutex);
    if (!connection.IsConnected())
        return false;
    QueueFlowControl(settings.flow);
    // A rate query behind the commands: its answer says the server has dealt
    // with everything before it, whether or not it answered that.
    const uint32_t wanted = codec.AnswerTo(Rfc2217Codec::SetBaudRate).count + 1;
    Rfc2217Codec::AppendBaudRate(0, outgoing);
    connection.Wake();
    answered.wait_for(guard, kAnswerWait,
                      [&] { return codec.AnswerTo(Rfc2217Codec::SetBaudRate).count >= wanted || !connection.IsConnected(); });
    return true;
}

void NetworkSerialDevice::PurgeReceived()
{
    std::lock_guard<std::mutex> guard(mutex);
    early.clear();
    if (!connection.IsConnected())
        return;
    Rfc2217Codec::AppendCommand(Rfc2217Codec::PurgeData, Rfc2217Codec::PurgeReceived, outgoing);
    discarding = true;
    purgeAnswersWanted = codec.AnswerTo(Rfc2217Codec::PurgeData).count + 1;
    discardUntil = Clock::now() + kPurgeDiscardLimit;
    connection.Wake();
}

void NetworkSerialDevice::DropOutput(bool)
{
    // What the socket has taken cannot be called back, and a cut in the
    // queued stream could split a command; the server drops what it holds.
    std::lock_guard<std::mutex> guard(mutex);
    if (connection.IsConnected())
        Rfc2217Codec::AppendCommand(Rfc2217Codec::PurgeData, Rfc2217Codec::PurgeTransmitted, outgoing);
}

bool NetworkSerialDevice::DrainOutgoing()
{
    size_t previous = 0;
    auto lastProgress = Clock::now();
    for (;;) {
        size_t left = 0;
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (!FlushLocked())
                return false;
            left = outgoing.size();
        }
        if (left == 0)
            return true;
        if (left != previous) {
            previous = left;
            lastProgress = Clock::now();
        } else if (Clock::now() - lastProgress > kDrainStallLimit) {
            return true;
        }
        connection.Wait(false, true, kDrainPollMs);
    }
}

void NetworkSerialDevice::Suspend(Leftover leftover)
{
    if (!connection.IsConnected() || leftover == Leftover::Ignore || !DrainOutgoing()) {
        Close(Leftover::Ignore);
        return;
    }
    kept = true;
}

void NetworkSerialDevice::Close(Leftover leftover)
{
    kept = false;
    if (!connection.IsConnected())
        return;
    if (leftover == Leftover::Drain && DrainOutgoing()) {
        // What the server holds reaches the line at the line's pace; closing
        // earlier could make the server cut it off or change the line under it.
        const auto lineDone = std::min(lineFreeAt, Clock::now() + kLineLead);
        while (Clock::now() < lineDone)
            std::this_thread::sleep_for(std::min<Clock::duration>(lineDone - Clock::now(), Milliseconds(kDrainPollMs)));
    }
    std::lock_guard<std::mutex> guard(mutex);
    connection.Close();
    codec.Reset();
    outgoing.clear();
    early.clear();
    openText.clear();
    discarding = false;
    answered.notify_all();
}

void NetworkSerialDevice::Wake()
{
    connection.Wake();
}

void NetworkSerialDevice::RequestStop()
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        stopRequested = true;
    }
    connection.Wake();
}

bool NetworkSerialDevice::StopRequested()
{
    std::lock_guard<std::mutex> guard(mutex);
    return stopRequested;
}

std::string NetworkSerialDevice::LastOpenDetail() const
{
    return openDetail;
}

size_t NetworkSerialDevice::DecodeLocked(const uint8_t* raw, size_t length, uint8_t* into)
{
    size_t count = codec.Decode(raw, length, into);
    std::vector<uint8_t> replies = codec.TakeReplies();
    outgoing.insert(outgoing.end(), replies.begin(), replies.end());
    if (discarding) {
        const Rfc2217Codec::Answer& purge = codec.AnswerTo(Rfc2217Codec::PurgeData);
        if (purge.count >= purgeAnswersWanted) {
            // What came before the answer was on its way before the purge.
            const size_t stale = std::min(purge.dataBefore, count);
            std::memmove(into, into + stale, count - stale);
            count -= stale;
            discarding = false;
        } else if (Clock::now() >= discardUntil) {
            discarding = false;
        } else {
            count = 0;
        }
    }
    answered.notify_all();
    return count;
}

bool NetworkSerialDevice::FlushLocked()
{
    while (!outgoing.empty()) {
        size_t sent = 0;
        switch (connection.Send(outgoing.data(), outgoing.size(), sent)) {
        case TcpConnection::Transfer::Moved:
            outgoing.erase(outgoing.begin(), outgoing.begin() + static_cast<std::ptrdiff_t>(sent));
            break;
        case TcpConnection::Transfer::WouldBlock:
            return true;
        case TcpConnection::Transfer::Closed:
            return false;
        }
    }
    return true;
}

SerialDevice::Io NetworkSerialDevice::StartRead(uint8_t* into, uint32_t room, uint32_t& count)
{
    count = 0;
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (!early.empty()) {
            const size_t taken = std::min<size_t>(room, early.size());
            std::memcpy(into, early.data(), taken);
            early.erase(early.begin(), early.begin() + static_cast<std::ptrdiff_t>(taken));
            count = static_cast<uint32_t>(taken);
            return Io::Done;
        }
    }
    size_t got = 0;
    switch (connection.Receive(scratch, std::min<size_t>(room, sizeof scratch), got)) {
    case TcpConnection::Transfer::Moved:
        break;
    case TcpConnection::Transfer::WouldBlock:
        return Io::Pending;
    case TcpConnection::Transfer::Closed:
        return Io::Gone;
    }
    std::lock_guard<std::mutex> guard(mutex);
    // Data never grows in decoding, so room bytes of raw input fit.
    count = static_cast<uint32_t>(DecodeLocked(scratch, got, into));
    return FlushLocked() ? Io::Done : Io::Gone;
}

SerialDevice::Io NetworkSerialDevice::StartWrite(const uint8_t* from, uint32_t length, uint32_t& count)
{
    count = 0;
    std::lock_guard<std::mutex> guard(mutex);
    if (!FlushLocked())
        return Io::Gone;
    if (!outgoing.empty())
        return Io::Pending;
    // Ahead of the line by the lead: offer again soon, when it has caught up.
    const auto now = Clock::now();
    if (lineFreeAt < now)
        lineFreeAt = now;
    const double lead = std::chrono::duration<double>(kLineLead - (lineFreeAt - now)).count();
    uint32_t fits = secondsPerByte > 0 ? static_cast<uint32_t>(std::max(0.0, lead / secondsPerByte)) : kWriteChunk;
    if (lineFreeAt == now)
        fits = std::max(fits, kMinimumLeadBytes);
    if (fits == 0)
        return Io::Retry;
    const uint32_t taken = std::min({length, kWriteChunk, fits});
    Rfc2217Codec::AppendData(from, taken, outgoing);
    count = taken;
    lineFreeAt += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(taken * secondsPerByte));
    return FlushLocked() ? Io::Done : Io::Gone;
}

SerialDevice::Events NetworkSerialDevice::Wait(bool readPending, bool writePending, bool usable, int timeoutMs)
{
    Events events;
    if (!usable) {
        connection.Wait(false, false, timeoutMs);
        return events;
    }
    bool pendingOutput = false;
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (!FlushLocked()) {
            events.gone = true;
            return events;
        }
        pendingOutput = !outgoing.empty();
    }
    const TcpConnection::Ready ready = connection.Wait(readPending, writePending || pendingOutput, timeoutMs);
    events.readDone = readPending && ready.readable;
    events.writeDone = writePending && ready.writable;
    events.gone = ready.closed;
    if (ready.writable && pendingOutput) {
        std::lock_guard<std::mutex> guard(mutex);
        if (!FlushLocked())
            events.gone = true;
    }
    return events;
}
