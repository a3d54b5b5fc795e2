#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#endif

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Looks up the addresses of a host for a TCP connection within a time limit.
// The system's resolver cannot be interrupted and, with a name server that does
// not answer, takes many seconds; so it runs on a thread of its own, and a
// lookup that is given up on ends there by itself and frees what it found.
//
// Threads: one owner calls Resolve and Addresses; the lookup's thread shares
// only the state it fills in, under that state's lock.
class HostLookup {
public:
    enum class Outcome {
        Found,
        NoSuchHost, // the name does not resolve
        TimedOut,   // no answer within the limit
        Failed,     // anything else
    };

    // getaddrinfo's contract; the system's own unless a test gives another.
    using Resolver = std::function<int(const std::string& host, const std::string& service, const addrinfo& hints,
                                       addrinfo** found)>;

    explicit HostLookup(Resolver resolver = {});
    ~HostLookup();
    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

    // Looks up host for TCP port `port` with getaddrinfo's `flags`, waiting at
    // most timeoutMs for the answer.
    Outcome Resolve(const std::string& host, uint16_t port, int flags, int timeoutMs);
    // The addresses the last Resolve found, in the resolver's order; null
    // unless it returned Found. Valid until the next Resolve or the end.
    const addrinfo* Addresses() const;

private:
    struct Shared;

    Resolver resolver;
    std::shared_ptr<Shared> shared;
};
