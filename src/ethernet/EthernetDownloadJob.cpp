#include "EthernetDownloadJob.h"

#include "DownloadFile.h"
#include "RetransmissionTimer.h"
#include "TerminalStatusText.h"
#include "UdpSocket.h"

#include <pthread.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// The socket layer's version this client is written for: Windows Sockets 1.1.
// BSD sockets need no start-up and always grant it.
constexpr uint16_t RequestedSocketsVersion = 0x0101;

// Pause between write requests. A unit that is still starting up answers within
// a few of them, and ten requests a second neither floods it nor keeps the
// operator waiting. Between requests the worker waits on the socket, so an
// acknowledgement is taken the moment it arrives.
constexpr auto RequestInterval = 100ms;
// The longest the worker waits without looking at the cancel flag; the operator
// sees Cancel take effect well within 50 ms, whatever is being waited for.
constexpr auto CancelCheckInterval = 20ms;

constexpr size_t BlockSize = 1024;
constexpr size_t WrqSize = 16;
constexpr size_t ReceiveBufferSize = 100;
// Opcode and one 16-bit field: the part of an ACK or ERROR this client reads.
constexpr long ReplyHeaderSize = 4;

enum Opcode : uint16_t {
    OpWrq = 2,
    OpData = 3,
    OpAck = 4,
    OpError = 5,
};

const char* const CancelledText = "User cancelled this program";

void PutUint16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value & 0xFF);
}

uint16_t GetUint16(const uint8_t* at)
{
    return static_cast<uint16_t>((at[0] << 8) | at[1]);
}

struct Datagram {
    long length = -1; // -1: the receive failed
    UdpSocket::Endpoint from;
    uint8_t bytes[ReceiveBufferSize];

    // Only the first four bytes are read, and only from a datagram that has them:
    // a shorter one is neither an ACK nor an ERROR.
    bool HasHeader() const { return length >= ReplyHeaderSize; }
    uint16_t Opcode() const { return GetUint16(bytes); }
    uint16_t Field() const { return GetUint16(bytes + 2); }
};

Datagram Receive(UdpSocket& socket)
{
    Datagram d;
    d.length = socket.ReceiveFrom(d.bytes, sizeof d.bytes, d.from);
    return d;
}

// Ends the socket layer's use when the transfer ends, after its socket.
struct SocketLayer {
    bool started = false;
    ~SocketLayer()
    {
        if (started)
            UdpSocket::CleanUp();
    }
};

// The private state of one transfer, on the worker's stack.
class Transfer {
public:
    explicit Transfer(EthernetDownloadJob::Shared& job) : job(job) {}
    ~Transfer()
    {
        if (file)
            std::fclose(file);
    }

    // Runs every step up to the end; reports exactly one final text.
    void Run()
    {
        uint16_t granted = 0;
        if (!UdpSocket::StartUp(RequestedSocketsVersion, granted)) {
            Report("can not initial the ethernet");
            return;
        }
        layer.started = true;
        if (granted != RequestedSocketsVersion) {
            Report("Unmatched Socket DLL version");
            return;
        }

        // Text that is no address converts to INADDR_NONE, the broadcast address;
        // the system refuses to send there (no SO_BROADCAST), so the operator sees
        // the request phase's problem text and cancels, as with any unreachable unit.
        destination = UdpSocket::EndpointOf(job.unitAddress, job.destinationPort);

        if (!socket.Open()) {
            Report("can not initial the socket");
            return;
        }

        file = std::fopen(job.path.c_str(), "rb");
        if (!file) {
            Report("Unable to open file.  Please verify the file\n \"" + job.path + "\" exists.");
            return;
        }

        if (Cancelled())
            return;

        const char* remoteName = nullptr;
        if (job.kind == Application)
            remoteName = "bff.bff";
        else if (job.kind == Firmware)
            remoteName = "bin.bin";
        else {
            Report("Ehernet download doesnot support usage other than application and firmware ");
            return;
        }

        BuildRequest(remoteName);
        Report("Establishing connection to " + job.unitAddress + "...");
        if (!RequestPhase())
            return;
        DataPhase();
    }

private:
    void Report(const std::string& text) { job.reporter.ShowStatus(text); }

    // The cancel check: reports the cancellation when the operator asked for it.
    bool Cancelled()
    {
        if (!job.reporter.IsCancelled())
            return false;
        Report(CancelledText);
        return true;
    }

    using SendResult = UdpSocket::SendResult;

    SendResult Send(const uint8_t* bytes, size_t length)
    {
        return socket.SendTo(bytes, length, destination);
    }

    // Waits until `deadline` or a datagram, whichever comes first, never longer
    // than the cancel check allows.
    std::optional<Datagram> WaitForDatagram(Clock::time_point deadline)
    {
        const auto wait = std::min<Clock::duration>(deadline - Clock::now(), CancelCheckInterval);
        if (!socket.WaitReadable(wait))
            return std::nullopt;
        return Receive(socket);
    }

    // Sleeps `pause` unless the operator cancels first (false, reported).
    bool PauseUnlessCancelled(Clock::duration pause)
    {
        const auto end = Clock::now() + pause;
        for (auto now = Clock::now(); now < end; now = Clock::now()) {
            std::this_thread::sleep_for(std::min<Clock::duration>(end - now, CancelCheckInterval));
            if (Cancelled())
                return false;
        }
        return true;
    }

    void BuildRequest(const char* remoteName)
    {
        // opcode, "bff.bff" or "bin.bin" with its NUL, "octet" with its NUL: 2 + 8 + 6.
        std::memset(request, 0, sizeof request);
        PutUint16(request, OpWrq);
        std::memcpy(request + 2, remoteName, 8);
        std::memcpy(request + 10, "octet", 6);
    }

    // Repeats the request until the unit acknowledges block 0 (true) or the
    // operator cancels (false, reported).
    bool RequestPhase()
    {
        bool sendFailureReported = false;
        int requestsSent = 0;
        for (;;) {
            const auto sentAt = Clock::now();
            const SendResult sent = Send(request, sizeof request);
            if (sent == SendResult::Failed && !sendFailureReported) {
                Report("communication to " + job.unitAddress + " has problem, please CANCEL");
                sendFailureReported = true;
            }
            ++requestsSent;
            const auto nextRequest = sentAt + RequestInterval;
            while (Clock::now() < nextRequest) {
                if (const auto d = WaitForDatagram(nextRequest); d && d->HasHeader()) {
                    // From any sender: a unit with several addresses may answer
                    // from another one than it was asked on. Whoever answers with
                    // ACK 0 is the unit from now on, at that address and port.
                    if (d->Opcode() == OpAck && d->Field() == 0) {
                        unitPeer = d->from;
                        if (requestsSent == 1)
                            timer.Sample(Clock::now() - sentAt);
                        return true;
                    }
                    if (d->Opcode() == OpError)
                        Report(TerminalStatusText(d->Field()) + "  please CANCEL");
                }
                if (Cancelled())
                    return false;
            }
            if (Cancelled())
                return false;
        }
    }

    enum class AckWait { Acknowledged, Ended };

    // Sends one DATA packet until the unit acknowledges it; Ended when a failure,
    // an ERROR or a cancellation was reported. A copy goes out only when the
    // acknowledgement is overdue by the resend timer, never because some other
    // datagram arrived meanwhile.
    AckWait SendBlock(const uint8_t* packet, size_t length, uint16_t wireBlock)
    {
        for (int copies = 1;; ++copies) {
            const auto sentAt = Clock::now();
            if (Send(packet, length) == SendResult::Failed) {
                Report("communication channel has problem");
                return AckWait::Ended;
            }
            const auto overdue = sentAt + timer.Timeout();
            while (Clock::now() < overdue) {
                const auto d = WaitForDatagram(overdue);
                // Only the unit's transfer port, at the address it answered from,
                // has a say; datagrams that can't be an ACK or ERROR have none.
                if (d && d->length > 0 && d->length < static_cast<long>(ReceiveBufferSize) &&
                    d->HasHeader() && d->from == unitPeer) {
                    if (d->Opcode() == OpAck && d->Field() == wireBlock) {
                        if (copies == 1)
                            timer.Sample(Clock::now() - sentAt);
                        return AckWait::Acknowledged;
                    }
                    if (d->Opcode() == OpError) {
                        Report(TerminalStatusText(d->Field()));
                        return AckWait::Ended;
                    }
                    // A stale or repeated ACK: the resend stays due when it was.
                }
                if (Cancelled())
                    return AckWait::Ended;
            }
            timer.Backoff();
        }
    }

    void DataPhase()
    {
        struct stat info {};
        const int64_t fileLength = fstat(fileno(file), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
        Report("Start downloading...");
        if (!PauseUnlessCancelled(job.firstBlockDelay))
            return;

        uint32_t blockCounter = 1;
        float accumulator = 0.0f;
        int lastStep = 0;
        uint8_t packet[4 + BlockSize];
        for (;;) {
            const size_t count = std::fread(packet + 4, 1, BlockSize, file);
            // A read that fails is no end of file, even when it brought some bytes
            // first: a short block would tell the unit that the file ended there,
            // and "finished" would leave it with a truncated image.
            if (std::ferror(file)) {
                Report("Unable to read the file \"" + job.path + "\". The download is incomplete.");
                return;
            }
            if (count == 0) {
                Report("Download is finished.");
                return;
            }
            if (job.observer)
                job.observer->FileRead(packet + 4, count);
            const uint16_t wireBlock = static_cast<uint16_t>(blockCounter & 0xFFFF);
            PutUint16(packet, OpData);
            PutUint16(packet + 2, wireBlock);
            if (SendBlock(packet, 4 + count, wireBlock) == AckWait::Ended)
                return;
            if (job.observer)
                job.observer->FileSent(count);

            if (fileLength > 0)
                accumulator = static_cast<float>(accumulator + static_cast<double>(count) / fileLength * 100.0);
            if (accumulator - static_cast<float>(lastStep) > 1.0f) {
                job.reporter.SetProgress(lastStep + 1);
                lastStep = static_cast<int>(accumulator);
            }

            ++blockCounter;
            if (Cancelled())
                return;
        }
    }

    EthernetDownloadJob::Shared& job;
    // Declared first so that it ends last, after the socket has closed.
    SocketLayer layer;
    UdpSocket socket;
    std::FILE* file = nullptr;
    UdpSocket::Endpoint destination;
    // The sender of ACK 0: its address and port (the unit's reply port) are the
    // only source the data phase listens to.
    UdpSocket::Endpoint unitPeer;
    RetransmissionTimer timer;
    uint8_t request[WrqSize];
};

void* ThreadEntry(void* argument)
{
    auto* handoff = static_cast<std::shared_ptr<EthernetDownloadJob::Shared>*>(argument);
    std::shared_ptr<EthernetDownloadJob::Shared> job = std::move(*handoff);
    delete handoff;
    EthernetDownloadJob::RunTransfer(std::move(job));
    return nullptr;
}

} // namespace

EthernetDownloadJob::Shared::Shared(DownloadReporter& reporter, std::string path, int kind, std::string unitAddress,
                                    uint16_t destinationPort)
    : reporter(reporter), path(std::move(path)), unitAddress(std::move(unitAddress)), kind(kind),
      destinationPort(destinationPort)
{
}

EthernetDownloadJob::EthernetDownloadJob(std::string path, int kind, std::string unitAddress,
                                         DownloadReporter& reporter, uint16_t destinationPort,
                                         std::shared_ptr<TransferObserver> observer)
    : shared(std::make_shared<Shared>(reporter, std::move(path), kind, std::move(unitAddress), destinationPort))
{
    shared->observer = std::move(observer);
}

bool EthernetDownloadJob::Start()
{
    int idle = 0;
    if (!shared->running.compare_exchange_strong(idle, 1, std::memory_order_acq_rel))
        return false;
    // The thread receives its own reference to the shared record.
    auto* handoff = new std::shared_ptr<Shared>(shared);
    pthread_t thread;
    if (pthread_create(&thread, nullptr, ThreadEntry, handoff) != 0) {
        delete handoff;
        shared->running.store(0, std::memory_order_release);
        return false;
    }
    pthread_detach(thread);
    return true;
}

bool EthernetDownloadJob::IsRunning() const
{
    return shared->running.load(std::memory_order_acquire) != 0;
}

int EthernetDownloadJob::RunTransfer(std::shared_ptr<Shared> job)
{
    {
        Transfer transfer(*job);
        transfer.Run();
    } // socket and file closed here
    job->reporter.Finish();
    job->running.store(0, std::memory_order_release);
    return 0;
}
