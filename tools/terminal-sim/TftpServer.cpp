#include "TftpServer.h"

#include "TftpImpairment.h"
#include "TftpReceiveQueue.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t BlockSize = 1024;
constexpr size_t HeaderSize = 4;
// Room for any DATA packet a client may send; larger ones are seen truncated and
// refused by their true length (MSG_TRUNC).
constexpr size_t ReceiveBufferSize = 2048;
// Datagrams taken per wake-up before the timers get their turn, so that a flood
// of resent blocks can't hold back a delayed acknowledgement or the idle end.
constexpr int MaxDatagramsPerWake = 64;
// Blocks between progress lines in the log: one line per MiB received.
constexpr uint32_t LogEveryBlocks = 1024;
constexpr uint64_t MainChannel = 0;
// A multiple of the block size, so blocks never straddle two pieces.
constexpr size_t StorageChunkSize = 1024 * BlockSize;
// The write request a unit is sent: opcode, a remote name of 7 characters and
// "octet", each with its NUL.
constexpr size_t ExactRequestSize = 16;
// The size at which a client's 100-byte receive buffer stops telling a
// datagram's end; the malformed datagrams reach it.
constexpr size_t OversizedReply = 100;
// The thread wakes for the unit's pace to the microsecond, not to the default
// 50 microseconds of slack that would add up over thousands of blocks.
constexpr unsigned long ServerTimerSlackNs = 1000;

enum Opcode : uint16_t {
    OpRrq = 1,
    OpWrq = 2,
    OpData = 3,
    OpAck = 4,
    OpError = 5,
};

// The codes a unit sends, with the unit's own short texts (the client shows its
// own texts for the codes, not these).
const char* ErrorMessage(int code)
{
    switch (code) {
    case 0: return "Downloading";
    case 1: return "Waiting for terminal";
    case 2: return "Not ready for download";
    case 3: return "Initiating";
    case 4: return "Illegal operation";
    default: return "Error";
    }
}

uint16_t GetUint16(const uint8_t* at)
{
    return static_cast<uint16_t>((at[0] << 8) | at[1]);
}

void PutUint16(std::vector<uint8_t>& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

std::string Endpoint(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

bool Readable(int fd)
{
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, 0) > 0;
}

bool SameEndpoint(const sockaddr_in& a, const sockaddr_in& b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// Reads a NUL-terminated text at `offset`; false when the datagram ends first.
bool ReadText(const std::vector<uint8_t>& bytes, size_t& offset, std::string& text)
{
    const auto begin = bytes.begin() + static_cast<ptrdiff_t>(offset);
    const auto end = std::find(begin, bytes.end(), uint8_t{0});
    if (end == bytes.end())
        return false;
    text.assign(begin, end);
    offset = static_cast<size_t>(end - bytes.begin()) + 1;
    return true;
}

bool EqualsIgnoringCase(const std::string& a, const char* b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

} // namespace

struct TftpServer::State {
    // The one transfer a unit serves at a time.
    struct Transfer {
        uint64_t channel = 0; // outgoing datagrams from P carry it
        sockaddr_in client{};
        int replyFd = -1;     // port P
        uint16_t replyPort = 0;
        // Ports that answered repeated requests (freshPortPerRequest), each with its channel.
        std::vector<std::pair<uint64_t, int>> extraReplies;
        std::string name;
        // Kept in pieces of a fixed size: one growing buffer would be copied
        // over and over, which a large file under a sanitizer makes very slow.
        std::vector<std::vector<uint8_t>> chunks;
        uint64_t size = 0;
        uint64_t digest = TftpDigestStart;
        uint32_t blocksStored = 0;
        bool dataSeen = false;
        bool recorded = false; // short last block stored; lingers to acknowledge repeats
        int refusedWith = -1;  // ERROR code that ended it; lingers to repeat the ERROR
        bool ackPending = false;
        uint16_t pendingAckBlock = 0;
        Clock::time_point ackDue;
        Clock::time_point idleEnd;
    };

    State(TftpServerOptions options, Log log)
        : options(std::move(options)), log(std::move(log)),
          incoming(Impairment(this->options), this->options.seed),
          // A different stream for the other direction, still fixed by the seed.
          outgoing(Impairment(this->options), this->options.seed ^ 0x9E3779B9u),
          receiveQueue(std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double, std::milli>(this->options.datagramCostMs)),
                       static_cast<size_t>(std::max(0, this->options.receiveQueue)))
    {
    }

    static TftpImpairment::Settings Impairment(const TftpServerOptions& o)
    {
        TftpImpairment::Settings s;
        s.lossPercent = o.lossPercent;
        s.duplicatePercent = o.duplicatePercent;
        s.reorderPercent = o.reorderPercent;
        s.delayPercent = o.delayPercent;
        s.delay = std::chrono::milliseconds(o.delayMs);
        return s;
    }

    void Say(const std::string& line)
    {
        if (log)
            log(line);
    }

    void Run();
    void Drain(int fd, bool isMain, Clock::time_point now);
    void Deliver(TftpImpairment::Datagram d, Clock::time_point now);
    void Serve(Clock::time_point now);
    void Handle(const TftpImpairment::Datagram& d, Clock::time_point now);
    int OpenReplySocket(uint16_t& port);
    void SendMalformed(uint16_t block, Clock::time_point now);
    void HandleRequest(const TftpImpairment::Datagram& d, Clock::time_point now);
    void HandleData(const TftpImpairment::Datagram& d, Clock::time_point now);
    bool RequestErrorActive(Clock::time_point now);
    void StartTransfer(const sockaddr_in& client, const std::string& name, Clock::time_point now);
    void EndTransfer(const std::string& why);
    void Record();
    void Store(const uint8_t* bytes, size_t count);
    // From port P unless another of the transfer's channels is named.
    void SendAck(uint16_t block, Clock::time_point now, std::optional<uint64_t> channel = std::nullopt);
    void SendError(uint64_t channel, const sockaddr_in& peer, int code, Clock::time_point now);
    void Send(uint64_t channel, const sockaddr_in& peer, std::vector<uint8_t> bytes, Clock::time_point now);
    void SendNow(const TftpImpairment::Datagram& d);
    std::optional<Clock::time_point> NextDeadline() const;

    const TftpServerOptions options;
    const Log log;

    // Set by Start before the thread begins, read-only while it runs.
    int mainFd = -1;
    int wakeFd = -1;
    std::atomic<uint16_t> boundPort{0};
    std::atomic<bool> stopRequested{false};
    std::thread thread;

    mutable std::mutex filesMutex;
    std::vector<TftpReceivedFile> files; // guarded by filesMutex

    struct Counters {
        std::atomic<uint64_t> requests{0}, dataPackets{0}, duplicateData{0}, blocksStored{0}, acksSent{0},
            errorsSent{0}, straysIgnored{0}, blocksAheadOfAck{0}, inexactRequests{0}, dataArrived{0},
            queueDrops{0};
        std::atomic<uint16_t> clientPort{0}, replyPort{0};
    } counters;

    // Only the server thread touches what follows.
    TftpImpairment incoming;
    TftpImpairment outgoing;
    TftpReceiveQueue receiveQueue;
    std::optional<Transfer> transfer;
    uint64_t nextChannel = 1;
    int requestErrorsSent = 0;
    std::optional<Clock::time_point> firstRefusedRequest;
};

void TftpServer::State::Run()
{
    prctl(PR_SET_TIMERSLACK, ServerTimerSlackNs, 0, 0, 0);
    while (!stopRequested.load(std::memory_order_acquire)) {
        pollfd entries[3] = {{wakeFd, POLLIN, 0}, {mainFd, POLLIN, 0}, {-1, POLLIN, 0}};
        if (transfer)
            entries[2].fd = transfer->replyFd;

        timespec timeout{};
        timespec* timeoutPointer = nullptr; // nothing due: sleep until a datagram or Stop
        if (const auto deadline = NextDeadline()) {
            const auto left = std::max(Clock::duration::zero(), *deadline - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPointer = &timeout;
        }
        if (ppoll(entries, 3, timeoutPointer, nullptr) < 0 && errno != EINTR) {
            Say("waiting failed (" + std::string(std::strerror(errno)) + "); stopping");
            return;
        }
        if (entries[0].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] ssize_t ignored = read(wakeFd, &count, sizeof count);
            continue; // Stop was asked for
        }

        Clock::time_point now = Clock::now();
        if (entries[1].revents & POLLIN)
            Drain(mainFd, true, now);
        if (transfer && entries[2].fd == transfer->replyFd && (entries[2].revents & POLLIN))
            Drain(transfer->replyFd, false, now);

        now = Clock::now();
        for (auto& d : incoming.TakeDue(now))
            Deliver(std::move(d), now);
        Serve(now);
        if (transfer && transfer->ackPending && now >= transfer->ackDue) {
            transfer->ackPending = false;
            SendAck(transfer->pendingAckBlock, now);
            // The client's silence counts from the answer: until then it waits for us.
            transfer->idleEnd = now + std::chrono::milliseconds(options.endIdleMs);
        }
        // Quiet means nothing waiting either: a long pause of this thread (a
        // large copy, a loaded machine) must not pass for the client's silence.
        if (transfer && !transfer->ackPending && now >= transfer->idleEnd && !Readable(mainFd) &&
            !incoming.NextDue() && receiveQueue.Empty())
            EndTransfer("no DATA for " + std::to_string(options.endIdleMs) + " ms");
        for (const auto& d : outgoing.TakeDue(now))
            SendNow(d);
    }
}

std::optional<Clock::time_point> TftpServer::State::NextDeadline() const
{
    std::optional<Clock::time_point> next;
    auto consider = [&next](std::optional<Clock::time_point> t) {
        if (t && (!next || *t < *next))
            next = t;
    };
    consider(incoming.NextDue());
    consider(outgoing.NextDue());
    consider(receiveQueue.NextDue());
    if (transfer) {
        if (transfer->ackPending)
            consider(transfer->ackDue);
        // The idle end waits for whatever is still held or queued (its own
        // deadline above), or it would wake the thread again and again.
        else if (receiveQueue.Empty() && !incoming.NextDue())
            consider(transfer->idleEnd);
    }
    return next;
}

void TftpServer::State::Drain(int fd, bool isMain, Clock::time_point now)
{
    for (int i = 0; i < MaxDatagramsPerWake; ++i) {
        TftpImpairment::Datagram d;
        d.bytes.resize(ReceiveBufferSize);
        socklen_t length = sizeof d.peer;
        const ssize_t got = recvfrom(fd, d.bytes.data(), d.bytes.size(), MSG_DONTWAIT | MSG_TRUNC,
                                     reinterpret_cast<sockaddr*>(&d.peer), &length);
        if (got < 0)
            return; // drained, or a receive error that the next wake-up retries
        // Port P only answers, but what arrives there still takes the unit's time.
        d.channel = isMain ? MainChannel : transfer->channel;
        // A truncated datagram keeps its true length, so that it is refused as oversized.
        const size_t received = static_cast<size_t>(got);
        d.bytes.resize(received <= ReceiveBufferSize ? received : ReceiveBufferSize + 1);
        if (received >= 2 && GetUint16(d.bytes.data()) == OpData)
            counters.dataArrived.fetch_add(1, std::memory_order_relaxed);
        if (options.impairIncoming && incoming.Active())
            incoming.Submit(std::move(d), now);
        else
            Deliver(std::move(d), now);
    }
}

// A datagram that has crossed the network reaches the unit: at once, or into
// its receive buffers when it has a pace of its own.
void TftpServer::State::Deliver(TftpImpairment::Datagram d, Clock::time_point now)
{
    if (!receiveQueue.Active()) {
        Handle(d, now);
        return;
    }
    if (!receiveQueue.Arrive(std::move(d), now)) {
        counters.queueDrops.fetch_add(1, std::memory_order_relaxed);
        if (options.verbose)
            Say("receive buffers full; datagram dropped");
    }
    Serve(now);
}

void TftpServer::State::Serve(Clock::time_point now)
{
    while (auto d = receiveQueue.Take(now))
        Handle(*d, now);
}

void TftpServer::State::Handle(const TftpImpairment::Datagram& d, Clock::time_point now)
{
    // Clients send everything to the main port; port P only answers.
    if (d.channel != MainChannel || d.bytes.size() < 2) {
        counters.straysIgnored.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    switch (GetUint16(d.bytes.data())) {
    case OpWrq:
        HandleRequest(d, now);
        break;
    case OpData:
        HandleData(d, now);
        break;
    case OpRrq:
        Say("read request from " + Endpoint(d.peer) + " refused; the unit only takes files");
        SendError(MainChannel, d.peer, 4, now);
        break;
    default:
        counters.straysIgnored.fetch_add(1, std::memory_order_relaxed);
        if (options.verbose)
            Say("datagram with opcode " + std::to_string(GetUint16(d.bytes.data())) + " from " +
                Endpoint(d.peer) + " ignored");
        break;
    }
}

bool TftpServer::State::RequestErrorActive(Clock::time_point now)
{
    if (options.requestErrorCode < 0)
        return false;
    if (options.requestErrorCount > 0)
        return requestErrorsSent < options.requestErrorCount;
    if (options.requestErrorMs > 0) {
        if (!firstRefusedRequest)
            firstRefusedRequest = now;
        return now - *firstRefusedRequest < std::chrono::milliseconds(options.requestErrorMs);
    }
    return true;
}

void TftpServer::State::HandleRequest(const TftpImpairment::Datagram& d, Clock::time_point now)
{
    counters.requests.fetch_add(1, std::memory_order_relaxed);
    counters.clientPort.store(ntohs(d.peer.sin_port), std::memory_order_relaxed);
    size_t offset = 2;
    std::string name, mode;
    if (!ReadText(d.bytes, offset, name) || !ReadText(d.bytes, offset, mode)) {
        Say("malformed write request from " + Endpoint(d.peer) + " refused");
        SendError(MainChannel, d.peer, 4, now);
        return;
    }
    if (name != "bff.bff" && name != "bin.bin") {
        Say("write request for \"" + name + "\" refused; the unit takes bff.bff or bin.bin");
        SendError(MainChannel, d.peer, 4, now);
        return;
    }
    if (!EqualsIgnoringCase(mode, "octet")) {
        Say("write request in mode \"" + mode + "\" refused; the unit takes octet");
        SendError(MainChannel, d.peer, 4, now);
        return;
    }
    std::vector<uint8_t> exact;
    PutUint16(exact, OpWrq);
    for (const char c : name + '\0' + "octet")
        exact.push_back(static_cast<uint8_t>(c));
    exact.push_back(0);
    const bool isExact = d.bytes == exact;
    if (!isExact) {
        counters.inexactRequests.fetch_add(1, std::memory_order_relaxed);
        Say("write request of " + std::to_string(d.bytes.size()) + " bytes differs from the " +
            std::to_string(ExactRequestSize) + " a unit is sent" + (options.exactRequest ? "; refused" : ""));
        if (options.exactRequest) {
            SendError(MainChannel, d.peer, 4, now);
            return;
        }
    }

    // The client repeats its request until ACK 0 reaches it: a repeat before any
    // DATA is answered again from the same port, not taken as a new transfer.
    if (transfer && SameEndpoint(transfer->client, d.peer) && !transfer->dataSeen) {
        transfer->idleEnd = now + std::chrono::milliseconds(options.endIdleMs);
        if (!options.freshPortPerRequest) {
            SendAck(0, now);
            return;
        }
        uint16_t port = 0;
        const int fd = OpenReplySocket(port);
        if (fd < 0) {
            Say("no port for the repeated request (" + std::string(std::strerror(errno)) + "); dropped");
            return;
        }
        const uint64_t channel = nextChannel++;
        transfer->extraReplies.emplace_back(channel, fd);
        Say("repeated request answered from port " + std::to_string(port));
        SendAck(0, now, channel);
        return;
    }
    if (RequestErrorActive(now)) {
        ++requestErrorsSent;
        Say("write request from " + Endpoint(d.peer) + " answered with ERROR " +
            std::to_string(options.requestErrorCode));
        SendError(MainChannel, d.peer, options.requestErrorCode, now);
        return;
    }
    if (transfer)
        EndTransfer("a new write request arrived");
    StartTransfer(d.peer, name, now);
}

int TftpServer::State::OpenReplySocket(uint16_t& port)
{
    const std::string& address = options.transferAddress.empty() ? options.address : options.transferAddress;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = 0;
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    socklen_t length = sizeof local;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        errno = error;
        return -1;
    }
    port = ntohs(local.sin_port);
    return fd;
}

void TftpServer::State::StartTransfer(const sockaddr_in& client, const std::string& name, Clock::time_point now)
{
    uint16_t port = 0;
    const int fd = OpenReplySocket(port);
    if (fd < 0) {
        Say("no port for the transfer (" + std::string(std::strerror(errno)) + "); request dropped");
        return;
    }

    transfer.emplace(Transfer{}); // clang cannot default-construct a nested class with member initialisers here
    transfer->channel = nextChannel++;
    transfer->client = client;
    transfer->replyFd = fd;
    transfer->replyPort = port;
    transfer->name = name;
    counters.replyPort.store(transfer->replyPort, std::memory_order_relaxed);
    transfer->idleEnd = now + std::chrono::milliseconds(options.endIdleMs);
    Say("receiving " + name + " from " + Endpoint(client) + ", answering from port " +
        std::to_string(transfer->replyPort));
    SendAck(0, now);
}

void TftpServer::State::HandleData(const TftpImpairment::Datagram& d, Clock::time_point now)
{
    counters.dataPackets.fetch_add(1, std::memory_order_relaxed);
    if (!transfer || !SameEndpoint(transfer->client, d.peer)) {
        counters.straysIgnored.fetch_add(1, std::memory_order_relaxed);
        if (options.verbose)
            Say("DATA from " + Endpoint(d.peer) + " belongs to no transfer; ignored");
        return;
    }
    if (d.bytes.size() < HeaderSize || d.bytes.size() > HeaderSize + BlockSize) {
        counters.straysIgnored.fetch_add(1, std::memory_order_relaxed);
        Say("DATA of " + std::to_string(d.bytes.size()) + " bytes ignored; blocks hold 1 to 1024 bytes");
        return;
    }
    Transfer& t = *transfer;
    // Measured afresh: `now` dates from the start of this wake-up.
    t.idleEnd = Clock::now() + std::chrono::milliseconds(options.endIdleMs);
    if (t.refusedWith >= 0) {
        // The ERROR may have been lost; a client still sending hears it again.
        SendError(t.channel, t.client, t.refusedWith, now);
        return;
    }
    const uint16_t block = GetUint16(d.bytes.data() + 2);
    const uint16_t lastStored = static_cast<uint16_t>(t.blocksStored & 0xFFFF);
    const uint16_t expected = static_cast<uint16_t>((t.blocksStored + 1) & 0xFFFF);

    if (t.dataSeen && block == lastStored) {
        // Our acknowledgement was lost or is late: say it again, unless it is
        // still on its way out of a flash write.
        counters.duplicateData.fetch_add(1, std::memory_order_relaxed);
        if (options.verbose)
            Say("block " + std::to_string(block) + " again");
        if (!t.ackPending)
            SendAck(block, now);
        return;
    }
    if (t.recorded || block != expected) {
        counters.straysIgnored.fetch_add(1, std::memory_order_relaxed);
        if (options.verbose)
            Say("block " + std::to_string(block) + " out of order; expected " + std::to_string(expected));
        return;
    }

    const uint32_t index = t.blocksStored + 1;
    if (t.ackPending)
        counters.blocksAheadOfAck.fetch_add(1, std::memory_order_relaxed);
    if (options.dataErrorCode >= 0 && index == options.dataErrorBlock) {
        Say("block " + std::to_string(index) + " answered with ERROR " +
            std::to_string(options.dataErrorCode) + "; transfer of " + t.name + " abandoned");
        t.refusedWith = options.dataErrorCode;
        t.dataSeen = true;
        SendError(t.channel, t.client, options.dataErrorCode, now);
        return;
    }

    const size_t payload = d.bytes.size() - HeaderSize;
    Store(d.bytes.data() + HeaderSize, payload);
    t.blocksStored = index;
    t.dataSeen = true;
    counters.blocksStored.fetch_add(1, std::memory_order_relaxed);
    if (options.verbose)
        Say("block " + std::to_string(block) + " (" + std::to_string(payload) + " bytes)");
    else if (index % LogEveryBlocks == 0)
        Say(std::to_string(index) + " blocks received (" + std::to_string(t.size) +
            " bytes)");

    if (payload < BlockSize) {
        // A short block is the last one; it is on record before its
        // acknowledgement leaves. The transfer lingers until it goes quiet to
        // acknowledge the block again should the acknowledgement be lost.
        Record();
        Say(t.name + " finished, " + std::to_string(t.size) + " bytes in " +
            std::to_string(t.blocksStored) + " blocks");
    }
    if (options.malformed)
        SendMalformed(block, now);
    if (options.ackDelayMs > 0) {
        t.ackPending = true;
        t.pendingAckBlock = block;
        t.ackDue = now + std::chrono::milliseconds(options.ackDelayMs);
    } else {
        SendAck(block, now);
    }
}

void TftpServer::State::SendMalformed(uint16_t block, Clock::time_point now)
{
    const uint8_t high = static_cast<uint8_t>(block >> 8), low = static_cast<uint8_t>(block & 0xFF);
    // Read as an ERROR or an ACK, each would end the transfer or pass for the
    // acknowledgement; a client must take none of them.
    std::vector<uint8_t> oversized{0, OpError, 0, 2};
    oversized.resize(OversizedReply, 'x');
    for (std::vector<uint8_t> bytes : std::vector<std::vector<uint8_t>>{
             {}, {0, OpError, 0}, std::move(oversized), {0, 9, high, low}, {0, OpAck}})
        Send(transfer->channel, transfer->client, std::move(bytes), now);
}

void TftpServer::State::Store(const uint8_t* bytes, size_t count)
{
    Transfer& t = *transfer;
    t.size += count;
    t.digest = TftpDigest(bytes, count, t.digest);
    if (!options.keepBytes)
        return;
    if (t.chunks.empty() || t.chunks.back().size() + count > StorageChunkSize) {
        t.chunks.emplace_back();
        t.chunks.back().reserve(StorageChunkSize);
    }
    t.chunks.back().insert(t.chunks.back().end(), bytes, bytes + count);
}

void TftpServer::State::Record()
{
    Transfer& t = *transfer;
    t.recorded = true;
    TftpReceivedFile file;
    file.name = t.name;
    file.size = t.size;
    file.digest = t.digest;
    file.bytes.reserve(options.keepBytes ? t.size : 0);
    for (const auto& chunk : t.chunks)
        file.bytes.insert(file.bytes.end(), chunk.begin(), chunk.end());
    std::lock_guard<std::mutex> lock(filesMutex);
    files.push_back(std::move(file));
}

void TftpServer::State::EndTransfer(const std::string& why)
{
    Transfer& t = *transfer;
    if (!t.recorded && t.refusedWith < 0) {
        // A file whose length is a multiple of 1024 (or an empty one) ends with
        // a full block (or none): only the silence afterwards tells its end.
        Record();
        Say(t.name + " finished (" + why + "), " + std::to_string(t.size) + " bytes in " +
            std::to_string(t.blocksStored) + " blocks");
    }
    close(t.replyFd);
    for (const auto& [channel, fd] : t.extraReplies)
        close(fd);
    transfer.reset();
}

void TftpServer::State::SendAck(uint16_t block, Clock::time_point now, std::optional<uint64_t> channel)
{
    std::vector<uint8_t> bytes;
    PutUint16(bytes, OpAck);
    PutUint16(bytes, block);
    counters.acksSent.fetch_add(1, std::memory_order_relaxed);
    Send(channel.value_or(transfer->channel), transfer->client, std::move(bytes), now);
}

void TftpServer::State::SendError(uint64_t channel, const sockaddr_in& peer, int code, Clock::time_point now)
{
    std::vector<uint8_t> bytes;
    PutUint16(bytes, OpError);
    PutUint16(bytes, static_cast<uint16_t>(code));
    const char* message = ErrorMessage(code);
    bytes.insert(bytes.end(), message, message + std::strlen(message) + 1);
    counters.errorsSent.fetch_add(1, std::memory_order_relaxed);
    Send(channel, peer, std::move(bytes), now);
}

void TftpServer::State::Send(uint64_t channel, const sockaddr_in& peer, std::vector<uint8_t> bytes,
                             Clock::time_point now)
{
    TftpImpairment::Datagram d{std::move(bytes), peer, channel};
    if (!options.impairOutgoing || !outgoing.Active()) {
        SendNow(d);
        return;
    }
    outgoing.Submit(std::move(d), now);
    for (const auto& due : outgoing.TakeDue(now))
        SendNow(due);
}

void TftpServer::State::SendNow(const TftpImpairment::Datagram& d)
{
    int fd = -1;
    if (d.channel == MainChannel)
        fd = mainFd;
    else if (transfer && transfer->channel == d.channel)
        fd = transfer->replyFd;
    else if (transfer) {
        for (const auto& [channel, extra] : transfer->extraReplies)
            if (channel == d.channel)
                fd = extra;
    }
    if (fd < 0)
        return; // its transfer has ended, and port P with it
    // A full socket buffer loses the datagram, as a network would.
    sendto(fd, d.bytes.data(), d.bytes.size(), MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&d.peer),
           sizeof d.peer);
}

uint64_t TftpDigest(const uint8_t* bytes, size_t count, uint64_t running)
{
    constexpr uint64_t Prime = 0x100000001b3ULL;
    for (size_t i = 0; i < count; ++i)
        running = (running ^ bytes[i]) * Prime;
    return running;
}

TftpServer::TftpServer(TftpServerOptions options, Log log)
    : state(std::make_unique<State>(std::move(options), std::move(log)))
{
}

TftpServer::~TftpServer()
{
    Stop();
}

bool TftpServer::Start(std::string* error)
{
    auto fail = [error](const std::string& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (state->thread.joinable())
        return fail("the TFTP server is already running");

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(state->options.port);
    if (inet_pton(AF_INET, state->options.address.c_str(), &local.sin_addr) != 1)
        return fail("\"" + state->options.address + "\" is not an IPv4 address");

    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return fail(std::string("no UDP socket: ") + std::strerror(errno));
    socklen_t length = sizeof local;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        const std::string reason = std::string("can't use UDP ") + state->options.address + ":" +
                                   std::to_string(state->options.port) + ": " + std::strerror(errno) +
                                   (state->options.port < 1024 ? " (ports below 1024 need privileges)" : "");
        close(fd);
        return fail(reason);
    }
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        close(fd);
        return fail(std::string("no wake-up event: ") + std::strerror(errno));
    }

    state->mainFd = fd;
    state->wakeFd = wake;
    state->boundPort.store(ntohs(local.sin_port), std::memory_order_release);
    state->stopRequested.store(false, std::memory_order_release);
    state->thread = std::thread([s = state.get()] { s->Run(); });
    return true;
}

void TftpServer::Stop()
{
    if (!state->thread.joinable())
        return;
    state->stopRequested.store(true, std::memory_order_release);
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(state->wakeFd, &one, sizeof one);
    state->thread.join();
    if (state->transfer) {
        close(state->transfer->replyFd);
        for (const auto& [channel, fd] : state->transfer->extraReplies)
            close(fd);
        state->transfer.reset();
    }
    close(state->mainFd);
    close(state->wakeFd);
    state->mainFd = -1;
    state->wakeFd = -1;
}

uint16_t TftpServer::BoundPort() const
{
    return state->boundPort.load(std::memory_order_acquire);
}

std::vector<TftpReceivedFile> TftpServer::ReceivedFiles() const
{
    std::lock_guard<std::mutex> lock(state->filesMutex);
    return state->files;
}

TftpServerStats TftpServer::Stats() const
{
    const auto& c = state->counters;
    TftpServerStats s;
    s.requests = c.requests.load(std::memory_order_relaxed);
    s.dataPackets = c.dataPackets.load(std::memory_order_relaxed);
    s.duplicateData = c.duplicateData.load(std::memory_order_relaxed);
    s.blocksStored = c.blocksStored.load(std::memory_order_relaxed);
    s.acksSent = c.acksSent.load(std::memory_order_relaxed);
    s.errorsSent = c.errorsSent.load(std::memory_order_relaxed);
    s.straysIgnored = c.straysIgnored.load(std::memory_order_relaxed);
    s.blocksAheadOfAck = c.blocksAheadOfAck.load(std::memory_order_relaxed);
    s.inexactRequests = c.inexactRequests.load(std::memory_order_relaxed);
    s.dataArrived = c.dataArrived.load(std::memory_order_relaxed);
    s.queueDrops = c.queueDrops.load(std::memory_order_relaxed);
    s.clientPort = c.clientPort.load(std::memory_order_relaxed);
    s.replyPort = c.replyPort.load(std::memory_order_relaxed);
    return s;
}
