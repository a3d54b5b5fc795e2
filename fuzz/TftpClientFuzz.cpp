// The TFTP client against a unit played here on loopback that, before each of
// its own answers, lets arbitrary datagrams reach the client, from the unit's
// answering port or from a stranger's. Whatever they hold, the client must
// deliver exactly the blocks that the right ACK from the pinned sender
// acknowledged: a DATA packet beyond the last acknowledged block, or a DATA
// packet before the request was acknowledged, means some other datagram counted.
// An ERROR from the pinned sender ends the transfer with its text; an ERROR
// from anyone else changes nothing.
//
// Input: a first byte choosing the file (low bits: size; top bit: firmware),
// then records, each a head byte and, unless it marks an empty turn, a length
// byte and that many bytes (the datagram). Head bits: 0x01 from the stranger,
// 0x40 an empty turn (no datagram), 0x80 the last datagram of this turn. A
// turn is what the unit lets through before it answers one packet of the
// client; a turn with datagrams is followed by no answer, so the client must
// send its packet again.
#include "EthernetDownloadJob.h"
#include "FuzzCheck.h"
#include "TerminalStatusText.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr size_t BlockSize = 1024;
constexpr size_t FileSizes[] = {0, 700, 1024, 1500, 2100};
// Turns after which the unit always answers: each unanswered one costs the
// client a resend time-out (doubling) or a request interval.
constexpr int MaxUnansweredTurns = 4;
constexpr int MaxUnansweredRequestTurns = 1;

class Reporter : public DownloadReporter {
public:
    void SetProgress(int) override {}
    bool IsCancelled() override { return false; }
    void ShowStatus(const std::string& text) override
    {
        std::lock_guard<std::mutex> hold(mutex);
        last = text;
    }
    void Finish() override { finished.store(true, std::memory_order_release); }

    std::string Last()
    {
        std::lock_guard<std::mutex> hold(mutex);
        return last;
    }
    std::atomic<bool> finished{false};

private:
    std::mutex mutex;
    std::string last;
};

int BoundSocket()
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    FUZZ_CHECK(fd >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    FUZZ_CHECK(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    return fd;
}

uint16_t PortOf(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    FUZZ_CHECK(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    return ntohs(address.sin_port);
}

void Drain(int fd)
{
    uint8_t buffer[2048];
    while (recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) >= 0) {
    }
}

// The unit's sockets and the files, made once for the whole run.
struct Stage {
    int unit;      // where the client sends everything (its "port 69")
    int sources[2]; // [0] the unit's answering port, [1] a stranger
    std::string paths[std::size(FileSizes)];
};

std::vector<uint8_t> FileBytes(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

Stage& TheStage()
{
    static Stage* stage = [] {
        auto* made = new Stage;
        made->unit = BoundSocket();
        made->sources[0] = BoundSocket();
        made->sources[1] = BoundSocket();
        char folder[] = "/tmp/vennix-tftp-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(folder) != nullptr);
        for (size_t i = 0; i < std::size(FileSizes); ++i) {
            made->paths[i] = std::string(folder) + "/file" + std::to_string(i) + ".bff";
            std::FILE* file = std::fopen(made->paths[i].c_str(), "wb");
            FUZZ_CHECK(file != nullptr);
            const std::vector<uint8_t> bytes = FileBytes(FileSizes[i]);
            FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
            std::fclose(file);
        }
        return made;
    }();
    return *stage;
}

struct Datagram {
    int source; // 0 answering port, 1 stranger
    std::vector<uint8_t> bytes;
};

// The turns the input describes, taken one at a time; empty once it is used up.
class Script {
public:
    Script(const uint8_t* data, size_t size) : data(data), size(size) {}

    std::vector<Datagram> NextTurn()
    {
        std::vector<Datagram> turn;
        while (at < size) {
            const uint8_t head = data[at++];
            if (head & 0x40)
                break;
            const size_t length = at < size ? data[at++] : 0;
            const size_t take = std::min(length, size - at);
            turn.push_back({head & 0x01, std::vector<uint8_t>(data + at, data + at + take)});
            at += take;
            if (head & 0x80)
                break;
        }
        return turn;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

uint16_t Field(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

// What the client must make of each datagram, in the order it receives them.
struct Model {
    size_t blocks;
    bool pinned = false;
    int pinnedSource = 0;
    uint32_t current = 1; // the block the client waits to have acknowledged
    bool ended = false;   // an ERROR from the pinned sender ended the transfer
    uint16_t errorCode = 0;

    bool Done() const { return ended || (pinned && current > blocks); }

    void Take(const Datagram& d)
    {
        const size_t length = d.bytes.size();
        if (Done() || length < 4)
            return;
        const uint16_t opcode = Field(d.bytes, 0), field = Field(d.bytes, 2);
        if (!pinned) {
            if (opcode == 4 && field == 0) {
                pinned = true;
                pinnedSource = d.source;
            }
            return;
        }
        // The client reads 100 bytes at most and takes a datagram that fills
        // them for a truncated one.
        if (d.source != pinnedSource || length >= 100)
            return;
        if (opcode == 4 && field == static_cast<uint16_t>(current))
            ++current;
        else if (opcode == 5) {
            ended = true;
            errorCode = field;
        }
    }
};

void SendTo(int fd, const std::vector<uint8_t>& bytes, const sockaddr_in& to)
{
    FUZZ_CHECK(sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
               static_cast<ssize_t>(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 2048)
        return 0;
    Stage& stage = TheStage();
    const size_t fileIndex = (data[0] & 0x7F) % std::size(FileSizes);
    const bool firmware = (data[0] & 0x80) != 0;
    const std::vector<uint8_t> file = FileBytes(FileSizes[fileIndex]);
    Script script(data + 1, size - 1);

    Drain(stage.unit);
    Drain(stage.sources[0]);
    Drain(stage.sources[1]);

    Reporter reporter;
    auto job = std::make_shared<EthernetDownloadJob::Shared>(reporter, stage.paths[fileIndex],
                                                              firmware ? 1 : 2, "127.0.0.1", PortOf(stage.unit));
    job->firstBlockDelay = 0ms;
    std::thread worker([job] { EthernetDownloadJob::RunTransfer(job); });

    Model model{(file.size() + BlockSize - 1) / BlockSize};
    std::vector<uint8_t> request = {0, 2};
    const std::string name = firmware ? "bin.bin" : "bff.bff";
    request.insert(request.end(), name.begin(), name.end());
    request.push_back(0);
    for (char c : std::string("octet"))
        request.push_back(static_cast<uint8_t>(c));
    request.push_back(0);

    bool haveClient = false;
    sockaddr_in client{};
    int unansweredTurns = 0, unansweredRequestTurns = 0;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!reporter.finished.load(std::memory_order_acquire)) {
        FUZZ_CHECK(std::chrono::steady_clock::now() < deadline); // the client stalled
        pollfd entry{stage.unit, POLLIN, 0};
        if (poll(&entry, 1, 5) <= 0)
            continue;
        uint8_t buffer[2048];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = recvfrom(stage.unit, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        FUZZ_CHECK(n >= 4);
        if (!haveClient) {
            client = from;
            haveClient = true;
        }
        FUZZ_CHECK(from.sin_port == client.sin_port); // one socket, one port for the whole transfer
        const std::vector<uint8_t> packet(buffer, buffer + n);
        const uint16_t opcode = Field(packet, 0);

        std::vector<Datagram> turn;
        if (opcode == 2) {
            FUZZ_CHECK(packet == request);
            if (model.pinned)
                continue; // sent before the acknowledgement reached the client
            turn = script.NextTurn();
            for (const Datagram& d : turn) {
                SendTo(stage.sources[d.source], d.bytes, client);
                model.Take(d);
            }
            if (!model.pinned && (turn.empty() || ++unansweredRequestTurns > MaxUnansweredRequestTurns)) {
                const Datagram ack{0, {0, 4, 0, 0}};
                SendTo(stage.sources[0], ack.bytes, client);
                model.Take(ack);
            }
            continue;
        }

        FUZZ_CHECK(opcode == 3);
        // DATA only once the request was acknowledged, and never beyond the
        // first block not yet acknowledged.
        FUZZ_CHECK(model.pinned);
        const uint32_t block = Field(packet, 2);
        FUZZ_CHECK(block >= 1 && block <= model.current && block <= model.blocks);
        const size_t offset = (block - 1) * BlockSize;
        const size_t length = std::min(BlockSize, file.size() - offset);
        FUZZ_CHECK(packet.size() == 4 + length);
        FUZZ_CHECK(std::equal(packet.begin() + 4, packet.end(), file.begin() + static_cast<ptrdiff_t>(offset)));
        if (block != model.current || model.Done())
            continue; // a copy sent before the client read what we sent it

        turn = script.NextTurn();
        for (const Datagram& d : turn) {
            SendTo(stage.sources[d.source], d.bytes, client);
            model.Take(d);
        }
        if (model.Done() || model.current != block)
            continue;
        // A request phase that took more than one request leaves the client's
        // resend time-out unmeasured (100 ms, doubling): one such wait is enough.
        const int maxUnanswered = unansweredRequestTurns > 0 ? 1 : MaxUnansweredTurns;
        if (turn.empty() || ++unansweredTurns > maxUnanswered) {
            const Datagram ack{model.pinnedSource, {0, 4, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)}};
            SendTo(stage.sources[ack.source], ack.bytes, client);
            model.Take(ack);
        }
    }
    worker.join();

    FUZZ_CHECK(model.Done());
    if (model.ended)
        FUZZ_CHECK(reporter.Last() == TerminalStatusText(model.errorCode));
    else
        FUZZ_CHECK(reporter.Last() == "Download is finished.");
    return 0;
}
