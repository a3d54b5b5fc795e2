#include "TcpConnection.h"

#include "HostLookup.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

namespace {

TcpConnection::ConnectResult ResultFrom(int error)
{
    switch (error) {
    case 0: return TcpConnection::ConnectResult::Connected;
    case WSAECONNREFUSED: return TcpConnection::ConnectResult::Refused;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAENETDOWN:
    case WSAEHOSTDOWN:
        return TcpConnection::ConnectResult::Unreachable;
    case WSAETIMEDOUT: return TcpConnection::ConnectResult::TimedOut;
    default: return TcpConnection::ConnectResult::Failed;
    }
}

} // namespace

// Windows Sockets 2: event objects (WSAEventSelect) let one wait cover the
// socket and the wake event. Socket events are edge-triggered there, so what
// a wait saw is kept until a send or receive finds the socket not ready again.
struct TcpConnection::Platform {
    SOCKET socket = INVALID_SOCKET;
    HANDLE wakeEvent = nullptr;
    WSAEVENT socketEvent = WSA_INVALID_EVENT;
    bool started = false; // WSAStartup succeeded and awaits its WSACleanup
    bool readable = false;
    bool writable = false;
    bool closed = false;
};

TcpConnection::TcpConnection() : platform(std::make_unique<Platform>())
{
    platform->wakeEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

TcpConnection::~TcpConnection()
{
    Close();
    if (platform->wakeEvent != nullptr)
        ::CloseHandle(platform->wakeEvent);
}

bool TcpConnection::CanWake() const
{
    return platform->wakeEvent != nullptr;
}

TcpConnection::ConnectResult TcpConnection::Connect(const std::string& host, uint16_t port, int timeoutMs)
{
    Close();
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return ConnectResult::Failed;
    platform->started = true;
    platform->socketEvent = ::WSACreateEvent();
    if (platform->socketEvent == WSA_INVALID_EVENT) {
        Close();
        return ConnectResult::Failed;
    }

    const DWORD start = ::GetTickCount();
    HostLookup lookup;
    const HostLookup::Outcome looked = lookup.Resolve(host, port, 0, timeoutMs);
    if (looked != HostLookup::Outcome::Found) {
        Close();
        return looked == HostLookup::Outcome::NoSuchHost ? ConnectResult::NoSuchHost
               : looked == HostLookup::Outcome::TimedOut ? ConnectResult::LookupTimedOut
                                                         : ConnectResult::Failed;
    }
    ConnectResult result = ConnectResult::Failed;
    for (const addrinfo* address = lookup.Addresses(); address != nullptr; address = address->ai_next) {
        SOCKET candidate = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (candidate == INVALID_SOCKET)
            continue;
        u_long nonBlocking = 1;
        ::ioctlsocket(candidate, FIONBIO, &nonBlocking);
        int error = 0;
        if (::connect(candidate, address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0) {
            error = ::WSAGetLastError();
            if (error == WSAEWOULDBLOCK) {
                const DWORD spent = ::GetTickCount() - start;
                const long left = timeoutMs > static_cast<long>(spent) ? timeoutMs - static_cast<long>(spent) : 0;
                fd_set writable;
                fd_set failed;
                FD_ZERO(&writable);
                FD_ZERO(&failed);
                FD_SET(candidate, &writable);
                FD_SET(candidate, &failed);
                timeval limit{left / 1000, (left % 1000) * 1000};
                const int ready = ::select(0, nullptr, &writable, &failed, &limit);
                if (ready == 0) {
                    error = WSAETIMEDOUT;
                } else if (ready < 0) {
                    error = ::WSAGetLastError();
                } else {
                    int soError = 0;
                    int size = sizeof soError;
                    ::getsockopt(candidate, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &size);
                    error = FD_ISSET(candidate, &failed) && soError == 0 ? WSAECONNREFUSED : soError;
                }
            }
        }
        result = ResultFrom(error);
        if (result == ConnectResult::Connected) {
            platform->socket = candidate;
            break;
        }
        ::closesocket(candidate);
        if (result == ConnectResult::TimedOut)
            break;
    }
    if (result != ConnectResult::Connected) {
        Close();
        return result;
    }
    // Commands and replies are a few bytes each: send them at once.
    const BOOL on = TRUE;
    ::setsockopt(platform->socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    if (::WSAEventSelect(platform->socket, platform->socketEvent, FD_READ | FD_WRITE | FD_CLOSE) != 0) {
        Close();
        return ConnectResult::Failed;
    }
    platform->readable = false;
    platform->writable = true;
    platform->closed = false;
    return ConnectResult::Connected;
}

void TcpConnection::Close()
{
    if (platform->socket != INVALID_SOCKET)
        ::closesocket(platform->socket);
    platform->socket = INVALID_SOCKET;
    if (platform->socketEvent != WSA_INVALID_EVENT)
        ::WSACloseEvent(platform->socketEvent);
    platform->socketEvent = WSA_INVALID_EVENT;
    if (platform->started)
        ::WSACleanup();
    platform->started = false;
}

bool TcpConnection::IsConnected() const
{
    return platform->socket != INVALID_SOCKET;
}

TcpConnection::Transfer TcpConnection::Send(const uint8_t* data, size_t length, size_t& sent)
{
    sent = 0;
    if (length == 0)
        return Transfer::Moved;
    const int result = ::send(platform->socket, reinterpret_cast<const char*>(data), static_cast<int>(length), 0);
    if (result > 0) {
        sent = static_cast<size_t>(result);
        return Transfer::Moved;
    }
    if (result == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
        platform->writable = false;
        return Transfer::WouldBlock;
    }
    return Transfer::Closed;
}

TcpConnection::Transfer TcpConnection::Receive(uint8_t* into, size_t room, size_t& got)
{
    got = 0;
    const int result = ::recv(platform->socket, reinterpret_cast<char*>(into), static_cast<int>(room), 0);
    if (result > 0) {
        got = static_cast<size_t>(result);
        return Transfer::Moved;
    }
    if (result == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
        platform->readable = false;
        return Transfer::WouldBlock;
    }
    return Transfer::Closed;
}

TcpConnection::Ready TcpConnection::Wait(bool wantRead, bool wantWrite, int timeoutMs)
{
    Ready ready;
    // Asked for nothing, the socket stays out of the wait: only a wake counts.
    const bool connected = platform->socket != INVALID_SOCKET && (wantRead || wantWrite);
    // What an earlier wait saw and nobody has used yet needs no waiting.
    const bool due = connected && ((wantRead && platform->readable) || (wantWrite && platform->writable));
    HANDLE handles[2] = {platform->wakeEvent, platform->socketEvent};
    const DWORD count = connected ? 2 : 1;
    const DWORD limit = due ? 0 : (timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    const DWORD result = ::WaitForMultipleObjects(count, handles, FALSE, limit);
    if (connected && (result == WAIT_OBJECT_0 + 1 || due)) {
        WSANETWORKEVENTS events{};
        if (::WSAEnumNetworkEvents(platform->socket, platform->socketEvent, &events) == 0) {
            if (events.lNetworkEvents & FD_READ)
                platform->readable = true;
            if (events.lNetworkEvents & FD_WRITE)
                platform->writable = true;
            if (events.lNetworkEvents & FD_CLOSE) {
                // Whatever is still unread comes first; the receive that
                // finds the end reports it. A reset has nothing left to read.
                platform->readable = true;
                if (events.iErrorCode[FD_CLOSE_BIT] != 0)
                    platform->closed = true;
            }
        }
    }
    if (connected) {
        ready.readable = wantRead && platform->readable;
        ready.writable = wantWrite && platform->writable;
        ready.closed = platform->closed;
    }
    return ready;
}

void TcpConnection::Wake()
{
    ::SetEvent(platform->wakeEvent);
}
