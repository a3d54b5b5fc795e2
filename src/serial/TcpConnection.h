#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// One TCP connection to a serial device server, non-blocking, with a wake
// event that lets another thread interrupt a wait. BSD sockets with eventfd and
// poll on Linux (TcpConnectionPosix.cpp), Windows Sockets with event objects on
// Windows (TcpConnectionWin32.cpp).
//
// Threads: the wake event lives as long as the object, so Wake may come from
// any thread at any time. Everything else is used by one thread at a time
// (the port's owner while it opens and closes, its I/O thread in between);
// Send is also called by the owner while the I/O thread waits, which the
// network device serialises with a lock of its own.
class TcpConnection {
public:
    enum class ConnectResult {
        Connected,
        NoSuchHost,  // the name does not resolve
        LookupTimedOut, // the name server gave no answer in time
        Refused,     // nothing listens there
        Unreachable, // no route to the host or its network
        TimedOut,    // no answer in time
        Failed,      // anything else (no sockets, no memory)
    };

    enum class Transfer {
        Moved,      // some bytes went (count > 0)
        WouldBlock, // nothing now; wait for readiness
        Closed,     // the far end closed or reset the connection
    };

    struct Ready {
        bool readable = false;
        bool writable = false;
        bool closed = false; // reset or hung up: the connection is useless
    };

    TcpConnection();
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // False when the wake event could not be made; such a connection never opens.
    bool CanWake() const;

    // Connects within timeoutMs. Any earlier connection is closed first.
    ConnectResult Connect(const std::string& host, uint16_t port, int timeoutMs);
    void Close();
    bool IsConnected() const;

    Transfer Send(const uint8_t* data, size_t length, size_t& sent);
    Transfer Receive(uint8_t* into, size_t room, size_t& got);

    // Waits for the wake event, or readability or writability as asked, at
    // most timeoutMs (negative: no limit). A closed or reset connection is
    // reported whatever was asked.
    Ready Wait(bool wantRead, bool wantWrite, int timeoutMs);
    void Wake();

private:
    struct Platform;
    std::unique_ptr<Platform> platform;
};
