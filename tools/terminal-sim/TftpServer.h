#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Options of the simulated unit's TFTP server. Command-line form: --tftp-NAME=VALUE.
struct TftpServerOptions {
    std::string address = "127.0.0.1";
    uint16_t port = 69; // 0 lets the system choose (tests)

    // ERROR code to answer write requests with; -1 accepts them. Answered for the
    // first requestErrorCount requests when that is above 0, else for
    // requestErrorMs after the first request when that is above 0, else for ever.
    int requestErrorCode = -1;
    int requestErrorCount = 0;
    int requestErrorMs = 0;
    // ERROR code to answer block number dataErrorBlock (1 = the first block,
    // counted on past the 16-bit wrap) with, ending the transfer; -1 for none.
    int dataErrorCode = -1;
    uint32_t dataErrorBlock = 1;
    // Time the unit takes to write each block to flash before acknowledging it.
    int ackDelayMs = 0;
    // A transfer whose last block was full ends after this long without DATA (or
    // at the next write request). It must stay well above the client's 200 ms
    // pause between the acknowledgement of the request and the first block.
    int endIdleMs = 1000;
    // The idle end must outlast the client's 200 ms pause before its first
    // block, or the transfer would end before it began.
    static constexpr int MinEndIdleMs = 300;

    // The unit's own pace: it takes one datagram at a time, answers it and then
    // spends this long on it before it takes the next (0: no cost) ...
    double datagramCostMs = 0;
    // ... while at most this many datagrams wait for it; more are dropped (0: no bound).
    int receiveQueue = 0;
    // Address each transfer's port P is bound to; empty: the serving address.
    // The wildcard 0.0.0.0 lets the system choose the source of each answer, so
    // a unit asked at one of its addresses may answer from another.
    std::string transferAddress;
    // Every repeated write request is answered with ACK 0 from a fresh port, as
    // a stack that gives each request a socket of its own does; the blocks are
    // still acknowledged from the port of the first answer.
    bool freshPortPerRequest = false;
    // Before each acknowledgement of a block, port P also sends datagrams no
    // client may take: empty, 3 bytes, 100 bytes (an ERROR), an unknown opcode.
    bool malformed = false;
    // Refuse with ERROR 4 a write request that is not exactly the 16 bytes the
    // unit is sent; without it such a request is only counted and logged.
    bool exactRequest = false;

    // What a poor network does, in percent of datagrams, seeded and reproducible.
    double lossPercent = 0;
    double duplicatePercent = 0;
    double reorderPercent = 0;
    double delayPercent = 0;
    int delayMs = 0;
    bool impairIncoming = true;
    bool impairOutgoing = true;
    uint32_t seed = 1;

    // Log every block and every duplicate, not only the milestones.
    bool verbose = false;
    // False keeps only the size and digest of what arrives (very large files).
    bool keepBytes = true;
};

// FNV-1a, 64 bits: checks a received file against the one sent without keeping
// either. Feed the bytes in any number of pieces, starting from TftpDigestStart.
constexpr uint64_t TftpDigestStart = 0xcbf29ce484222325ULL;
uint64_t TftpDigest(const uint8_t* bytes, size_t count, uint64_t running = TftpDigestStart);

// One file the server has received. A transfer that ended with a short block,
// or that went quiet (or was followed by a new request) after a full one, counts
// as received; one refused with an ERROR does not.
struct TftpReceivedFile {
    std::string name;
    std::vector<uint8_t> bytes; // empty unless the options keep them
    uint64_t size = 0;
    uint64_t digest = TftpDigestStart;
};

// What the server has seen so far, for tests and benchmarks.
struct TftpServerStats {
    uint64_t requests = 0;      // write requests received, answered or refused
    uint64_t inexactRequests = 0; // write requests other than the 16 bytes a unit is sent
    uint64_t dataArrived = 0;   // DATA datagrams as they reached the unit, before loss and its queue
    uint64_t queueDrops = 0;    // datagrams dropped for want of a receive buffer
    uint64_t dataPackets = 0;   // DATA datagrams of the current transfer, duplicates included
    uint64_t duplicateData = 0; // DATA that repeated the block stored last
    uint64_t blocksStored = 0;
    uint64_t acksSent = 0;      // ACK 0 included
    uint64_t errorsSent = 0;
    uint64_t straysIgnored = 0; // datagrams that belonged to no transfer or were malformed
    uint64_t blocksAheadOfAck = 0; // new blocks sent before the previous one was acknowledged
    uint16_t clientPort = 0;    // source port of the latest write request
    uint16_t replyPort = 0;     // port P of the latest transfer
};

// The unit's TFTP server: a UDP socket on the options' address and port, served by
// a thread of its own between Start and Stop. It answers each accepted write
// request from a fresh port P, and takes the DATA blocks on its main port (where
// the client sends every packet) and acknowledges them from P.
class TftpServer {
public:
    using Log = std::function<void(const std::string&)>;

    // `log` is called from the server's thread, one plain line at a time.
    explicit TftpServer(TftpServerOptions options, Log log = {});
    ~TftpServer();

    TftpServer(const TftpServer&) = delete;
    TftpServer& operator=(const TftpServer&) = delete;

    // Binds and starts serving; false with a one-line reason in *error.
    bool Start(std::string* error);
    // Ends the thread promptly; a transfer in progress is abandoned.
    void Stop();
    uint16_t BoundPort() const;
    std::vector<TftpReceivedFile> ReceivedFiles() const;
    TftpServerStats Stats() const;

private:
    struct State;
    std::unique_ptr<State> state;
};
