#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// The few socket calls the TFTP client makes, on the platform's socket layer:
// BSD sockets on Linux, Windows Sockets 1.1 on Windows (UdpSocketPosix.cpp,
// UdpSocketWin32.cpp). One non-blocking IPv4 UDP socket; closed by the destructor.
class UdpSocket {
public:
    // An IPv4 address and port, both in network byte order as on the wire.
    struct Endpoint {
        uint32_t address = 0;
        uint16_t port = 0;
        bool operator==(const Endpoint&) const = default;
    };

    enum class SendResult { Sent, Lost, Failed };

    // Starts the socket layer, asking for `requested` (major in the low byte);
    // `granted` is the version it offers. Every successful StartUp is matched
    // by one CleanUp.
    static bool StartUp(uint16_t requested, uint16_t& granted);
    static void CleanUp();

    // Dotted decimal to an address, as inet_addr reads it: text that is no
    // address gives the broadcast address.
    static Endpoint EndpointOf(const std::string& dottedAddress, uint16_t port);

    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    bool Open();
    // Binds to a local address and port (0: any free one), for a peer that
    // must be found at a known place; LocalEndpoint then says where.
    bool Bind(const Endpoint& local);
    Endpoint LocalEndpoint() const;
    // A full send buffer, or a system short of buffers, loses the datagram as
    // a busy network would (Lost); anything else is Failed.
    SendResult SendTo(const uint8_t* bytes, size_t length, const Endpoint& to);
    // True when a datagram waits; waits at most `wait`. A failed wait is false.
    bool WaitReadable(std::chrono::steady_clock::duration wait);
    // Takes one waiting datagram without blocking; -1 when none could be had.
    // A datagram longer than `capacity` is cut to it.
    long ReceiveFrom(uint8_t* into, size_t capacity, Endpoint& from);

private:
    // The socket's descriptor or handle; Closed when none.
    static constexpr intptr_t Closed = -1;
    intptr_t handle = Closed;
};
