#pragma once

#include "DownloadReporter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ethernettest {

using namespace std::chrono_literals;

// Generous: the machine running the tests may be loaded; these only bound a
// wait that normally ends within milliseconds.
constexpr auto EventuallyLimit = 20s;

inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = EventuallyLimit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Records every call a download worker makes; safe to read from the test thread.
class RecordingReporter : public DownloadReporter {
public:
    void SetProgress(int percent) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        progress.push_back(percent);
    }
    bool IsCancelled() override { return cancel.load(std::memory_order_acquire); }
    void ShowStatus(const std::string& text) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        statuses.push_back(text);
        changed.notify_all();
    }
    void Finish() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++finishes;
        changed.notify_all();
    }

    void Cancel() { cancel.store(true, std::memory_order_release); }

    bool WaitFinished(std::chrono::milliseconds limit = EventuallyLimit)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, [this] { return finishes > 0; });
    }
    bool WaitForStatus(const std::string& text, std::chrono::milliseconds limit = EventuallyLimit)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, [&] { return CountLocked(text) > 0; });
    }

    std::vector<std::string> Statuses() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return statuses;
    }
    std::vector<int> Progress() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return progress;
    }
    int Finishes() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return finishes;
    }
    int Count(const std::string& text) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return CountLocked(text);
    }

private:
    int CountLocked(const std::string& text) const
    {
        int n = 0;
        for (const auto& s : statuses)
            n += s == text;
        return n;
    }

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> statuses;
    std::vector<int> progress;
    int finishes = 0;
    std::atomic<bool> cancel{false};
};

struct Received {
    std::vector<uint8_t> bytes;
    sockaddr_in from{};
    uint16_t FromPort() const { return ntohs(from.sin_port); }
    uint16_t Opcode() const { return bytes.size() >= 2 ? static_cast<uint16_t>(bytes[0] << 8 | bytes[1]) : 0; }
    uint16_t Field() const { return bytes.size() >= 4 ? static_cast<uint16_t>(bytes[2] << 8 | bytes[3]) : 0; }
};

// A plain UDP socket: a scripted unit, a forger, or a hand-made client.
class UdpPeer {
public:
    explicit UdpPeer(const char* address = "127.0.0.1", uint16_t port = 0)
    {
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local = Address(address, port);
        socklen_t length = sizeof local;
        bound = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0;
        this->port = ntohs(local.sin_port);
    }
    ~UdpPeer()
    {
        if (fd >= 0)
            close(fd);
    }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    static sockaddr_in Address(const char* address, uint16_t port)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, address, &a.sin_addr);
        return a;
    }

    bool SendTo(uint16_t toPort, const std::vector<uint8_t>& bytes, const char* toAddress = "127.0.0.1") const
    {
        const sockaddr_in to = Address(toAddress, toPort);
        return sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
               static_cast<ssize_t>(bytes.size());
    }

    std::optional<Received> Receive(std::chrono::milliseconds limit = EventuallyLimit) const
    {
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(limit.count())) <= 0)
            return std::nullopt;
        Received r;
        r.bytes.resize(2048);
        socklen_t length = sizeof r.from;
        const ssize_t got = recvfrom(fd, r.bytes.data(), r.bytes.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&r.from), &length);
        if (got < 0)
            return std::nullopt;
        r.bytes.resize(static_cast<size_t>(got));
        return r;
    }

    int fd = -1;
    bool bound = false;
    uint16_t port = 0;
};

inline std::vector<uint8_t> Packet(uint16_t opcode, uint16_t field, const std::vector<uint8_t>& rest = {})
{
    // Reserved first: growing a 4-byte vector by insert trips a false -Warray-bounds in GCC 12.
    std::vector<uint8_t> bytes;
    bytes.reserve(4 + rest.size());
    for (uint16_t word : {opcode, field}) {
        bytes.push_back(static_cast<uint8_t>(word >> 8));
        bytes.push_back(static_cast<uint8_t>(word));
    }
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

inline std::vector<uint8_t> WriteRequest(const std::string& name, const std::string& mode = "octet")
{
    std::vector<uint8_t> bytes{0, 2};
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.push_back(0);
    bytes.insert(bytes.end(), mode.begin(), mode.end());
    bytes.push_back(0);
    return bytes;
}

// Bytes that differ from block to block and within a block, so that a block
// stored twice, dropped or out of place shows in a comparison.
inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed = 7)
{
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed;
    for (auto& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

// A folder of the test's own under the system's temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vennix-eth-XXXXXX").string();
        path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        const std::string file = path + "/" + name;
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    std::string path;
};

} // namespace ethernettest
