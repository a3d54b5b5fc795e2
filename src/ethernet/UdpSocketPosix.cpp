#include "UdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

int Fd(intptr_t handle)
{
    return static_cast<int>(handle);
}

} // namespace

// BSD sockets need no start-up, so asking for it always grants it.
bool UdpSocket::StartUp(uint16_t requested, uint16_t& granted)
{
    granted = requested;
    return true;
}

void UdpSocket::CleanUp()
{
}

UdpSocket::Endpoint UdpSocket::EndpointOf(const std::string& dottedAddress, uint16_t port)
{
    return Endpoint{::inet_addr(dottedAddress.c_str()), htons(port)};
}

UdpSocket::~UdpSocket()
{
    if (handle != Closed)
        ::close(Fd(handle));
}

bool UdpSocket::Open()
{
    // Non-blocking: a full send buffer must cost a datagram, never stall the worker.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    handle = fd;
    return true;
}

bool UdpSocket::Bind(const Endpoint& local)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = local.address;
    address.sin_port = local.port;
    return ::bind(Fd(handle), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

UdpSocket::Endpoint UdpSocket::LocalEndpoint() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(Fd(handle), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return Endpoint{};
    return Endpoint{address.sin_addr.s_addr, address.sin_port};
}

UdpSocket::SendResult UdpSocket::SendTo(const uint8_t* bytes, size_t length, const Endpoint& to)
{
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = to.address;
    destination.sin_port = to.port;
    const ssize_t sent = ::sendto(Fd(handle), bytes, length, 0, reinterpret_cast<const sockaddr*>(&destination),
                                  sizeof destination);
    if (sent == static_cast<ssize_t>(length))
        return SendResult::Sent;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS || errno == EINTR))
        return SendResult::Lost;
    return SendResult::Failed;
}

bool UdpSocket::WaitReadable(std::chrono::steady_clock::duration wait)
{
    using namespace std::chrono;
    wait = std::max(wait, steady_clock::duration::zero());
    const auto ns = duration_cast<nanoseconds>(wait);
    pollfd entry{Fd(handle), POLLIN, 0};
    const timespec timeout{static_cast<time_t>(ns / 1s), static_cast<long>((ns % 1s).count())};
    return ::ppoll(&entry, 1, &timeout, nullptr) > 0;
}

long UdpSocket::ReceiveFrom(uint8_t* into, size_t capacity, Endpoint& from)
{
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    // Readable was seen just before; never block should the datagram have gone.
    const ssize_t got = ::recvfrom(Fd(handle), into, capacity, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sender),
                                   &senderLength);
    if (got < 0 || sender.sin_family != AF_INET)
        return -1;
    from = Endpoint{sender.sin_addr.s_addr, sender.sin_port};
    return got;
}
