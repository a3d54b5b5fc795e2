#include "TcpConnection.h"

#include "HostLookup.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

TcpConnection::ConnectResult ResultFrom(int error)
{
    switch (error) {
    case 0: return TcpConnection::ConnectResult::Connected;
    case ECONNREFUSED: return TcpConnection::ConnectResult::Refused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
        return TcpConnection::ConnectResult::Unreachable;
    case ETIMEDOUT: return TcpConnection::ConnectResult::TimedOut;
    default: return TcpConnection::ConnectResult::Failed;
    }
}

// Connects one resolved address within the deadline; the socket on success.
TcpConnection::ConnectResult ConnectOne(const addrinfo& address, Clock::time_point deadline, int& socketOut)
{
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address.ai_protocol);
    if (fd < 0)
        return TcpConnection::ConnectResult::Failed;
    int error = 0;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            error = errno;
        } else {
            for (;;) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
                if (left.count() <= 0) {
                    error = ETIMEDOUT;
                    break;
                }
                pollfd poller{fd, POLLOUT, 0};
                const int ready = ::poll(&poller, 1, static_cast<int>(left.count()));
                if (ready < 0 && errno == EINTR)
                    continue;
                if (ready <= 0) {
                    error = ready == 0 ? ETIMEDOUT : errno;
                    break;
                }
                socklen_t size = sizeof error;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                    error = errno;
                break;
            }
        }
    }
    if (error != 0) {
        ::close(fd);
        return ResultFrom(error);
    }
    // Commands and replies are a few bytes each: send them at once.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    socketOut = fd;
    return TcpConnection::ConnectResult::Connected;
}

} // namespace

struct TcpConnection::Platform {
    int socket = -1;
    int wakeEvent = -1;
};

TcpConnection::TcpConnection() : platform(std::make_unique<Platform>())
{
    platform->wakeEvent = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

TcpConnection::~TcpConnection()
{
    Close();
    if (platform->wakeEvent >= 0)
        ::close(platform->wakeEvent);
}

bool TcpConnection::CanWake() const
{
    return platform->wakeEvent >= 0;
}

TcpConnection::ConnectResult TcpConnection::Connect(const std::string& host, uint16_t port, int timeoutMs)
{
    Close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    HostLookup lookup;
    switch (lookup.Resolve(host, port, AI_ADDRCONFIG, timeoutMs)) {
    case HostLookup::Outcome::Found: break;
    case HostLookup::Outcome::NoSuchHost: return ConnectResult::NoSuchHost;
    case HostLookup::Outcome::TimedOut: return ConnectResult::LookupTimedOut;
    case HostLookup::Outcome::Failed: return ConnectResult::Failed;
    }
    // The first address that answers wins; the reason of the last one is told.
    ConnectResult result = ConnectResult::Failed;
    for (const addrinfo* address = lookup.Addresses(); address != nullptr; address = address->ai_next) {
        result = ConnectOne(*address, deadline, platform->socket);
        if (result == ConnectResult::Connected || result == ConnectResult::TimedOut)
            break;
    }
    return result;
}

void TcpConnection::Close()
{
    if (platform->socket < 0)
        return;
    ::close(platform->socket);
    platform->socket = -1;
}

bool TcpConnection::IsConnected() const
{
    return platform->socket >= 0;
}

TcpConnection::Transfer TcpConnection::Send(const uint8_t* data, size_t length, size_t& sent)
{
    sent = 0;
    if (length == 0)
        return Transfer::Moved;
    const ssize_t result = ::send(platform->socket, data, length, MSG_NOSIGNAL);
    if (result > 0) {
        sent = static_cast<size_t>(result);
        return Transfer::Moved;
    }
    if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return Transfer::WouldBlock;
    return Transfer::Closed;
}

TcpConnection::Transfer TcpConnection::Receive(uint8_t* into, size_t room, size_t& got)
{
    got = 0;
    const ssize_t result = ::recv(platform->socket, into, room, 0);
    if (result > 0) {
        got = static_cast<size_t>(result);
        return Transfer::Moved;
    }
    if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return Transfer::WouldBlock;
    // 0: the far end closed; anything else: reset.
    return Transfer::Closed;
}

TcpConnection::Ready TcpConnection::Wait(bool wantRead, bool wantWrite, int timeoutMs)
{
    Ready ready;
    pollfd fds[2] = {};
    fds[0].fd = platform->wakeEvent;
    fds[0].events = POLLIN;
    // Asked for nothing, the socket stays out: a hung-up one would end every wait at once.
    fds[1].fd = wantRead || wantWrite ? platform->socket : -1;
    fds[1].events = static_cast<short>((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0));
    if (::poll(fds, 2, timeoutMs) <= 0)
        return ready;
    if (fds[0].revents & POLLIN) {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t got = ::read(platform->wakeEvent, &count, sizeof count);
    }
    ready.readable = (fds[1].revents & POLLIN) != 0;
    ready.writable = (fds[1].revents & POLLOUT) != 0;
    ready.closed = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    return ready;
}

void TcpConnection::Wake()
{
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(platform->wakeEvent, &one, sizeof one);
}
