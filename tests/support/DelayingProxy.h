#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>
#include <vector>

// A TCP proxy on loopback that holds every chunk it relays for a fixed delay,
// in each direction, as a slow plant network or a distant device server does.
// An end of stream is delayed like data. One thread; any number of
// connections, one after another or at once.
class DelayingProxy {
public:
    DelayingProxy() = default;
    ~DelayingProxy() { Stop(); }
    DelayingProxy(const DelayingProxy&) = delete;
    DelayingProxy& operator=(const DelayingProxy&) = delete;

    bool Start(uint16_t target, std::chrono::milliseconds delay, std::string* error)
    {
        targetPort = target;
        holdFor = delay;
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(0);
        socklen_t size = sizeof address;
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            *error = "the proxy cannot listen";
            return false;
        }
        port = ntohs(address.sin_port);
        stopEvent = ::eventfd(0, EFD_CLOEXEC);
        thread = std::thread([this] { Run(); });
        return true;
    }

    void Stop()
    {
        if (thread.joinable()) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t written = ::write(stopEvent, &one, sizeof one);
            thread.join();
        }
        for (Link& link : links) {
            ::close(link.ends[0]);
            ::close(link.ends[1]);
        }
        links.clear();
        if (listener >= 0)
            ::close(listener);
        if (stopEvent >= 0)
            ::close(stopEvent);
        listener = stopEvent = -1;
    }

    uint16_t Port() const { return port; }

private:
    using Clock = std::chrono::steady_clock;

    struct Chunk {
        Clock::time_point due;
        std::vector<uint8_t> bytes; // empty: the end of the stream
    };
    struct Link {
        int ends[2];                // client, server
        std::deque<Chunk> toward[2]; // what goes to ends[i]
        bool ended[2] = {false, false}; // ends[i] has closed: read no more
        bool done = false;
    };

    static sockaddr_in Loopback(uint16_t port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        return address;
    }

    void Accept()
    {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(targetPort);
        if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(client);
            if (server >= 0)
                ::close(server);
            return;
        }
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Link link;
        link.ends[0] = client;
        link.ends[1] = server;
        links.push_back(std::move(link));
    }

    void Run()
    {
        for (;;) {
            const auto now = Clock::now();
            // Deliver what is due; an end of stream closes the whole link.
            for (Link& link : links) {
                for (int side = 0; side < 2 && !link.done; ++side) {
                    while (!link.toward[side].empty() && link.toward[side].front().due <= now) {
                        Chunk& chunk = link.toward[side].front();
                        if (chunk.bytes.empty()) {
                            link.done = true;
                            break;
                        }
                        // Blocking sends on loopback: the far end reads on.
                        size_t sent = 0;
                        while (sent < chunk.bytes.size()) {
                            const ssize_t n = ::send(link.ends[side], chunk.bytes.data() + sent,
                                                     chunk.bytes.size() - sent, MSG_NOSIGNAL);
                            if (n <= 0)
                                break;
                            sent += static_cast<size_t>(n);
                        }
                        link.toward[side].pop_front();
                    }
                }
            }
            for (auto it = links.begin(); it != links.end();) {
                if (it->done) {
                    ::close(it->ends[0]);
                    ::close(it->ends[1]);
                    it = links.erase(it);
                } else {
                    ++it;
                }
            }

            int timeout = -1;
            for (const Link& link : links)
                for (const auto& queue : link.toward)
                    if (!queue.empty()) {
                        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                                              queue.front().due - now).count() + 1;
                        timeout = timeout < 0 ? static_cast<int>(wait) : std::min(timeout, static_cast<int>(wait));
                    }
            std::vector<pollfd> fds = {{stopEvent, POLLIN, 0}, {listener, POLLIN, 0}};
            for (const Link& link : links) {
                fds.push_back({link.ended[0] ? -1 : link.ends[0], POLLIN, 0});
                fds.push_back({link.ended[1] ? -1 : link.ends[1], POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), timeout) < 0)
                continue;
            if (fds[0].revents != 0)
                return;
            // Only the links that were polled; one accepted now waits for the next pass.
            const size_t polled = links.size();
            if (fds[1].revents & POLLIN)
                Accept();
            const auto arrived = Clock::now();
            for (size_t i = 0; i < polled * 2; ++i) {
                if (fds[2 + i].revents == 0)
                    continue;
                Link& link = links[i / 2];
                const int from = static_cast<int>(i % 2);
                std::vector<uint8_t> bytes(4096);
                const ssize_t n = ::recv(link.ends[from], bytes.data(), bytes.size(), 0);
                bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
                link.ended[from] = n <= 0;
                // What came off one end goes to the other, later.
                link.toward[1 - from].push_back({arrived + holdFor, std::move(bytes)});
            }
        }
    }

    uint16_t targetPort = 0;
    std::chrono::milliseconds holdFor{0};
    int listener = -1;
    int stopEvent = -1;
    uint16_t port = 0;
    std::thread thread;
    std::vector<Link> links; // the proxy thread's while it runs
};
