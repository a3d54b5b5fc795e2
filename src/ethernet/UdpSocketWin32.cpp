#include "UdpSocket.h"

#include <winsock2.h>

#include <algorithm>

namespace {

SOCKET Socket(intptr_t handle)
{
    return static_cast<SOCKET>(handle);
}

} // namespace

bool UdpSocket::StartUp(uint16_t requested, uint16_t& granted)
{
    WSADATA data{};
    if (::WSAStartup(requested, &data) != 0)
        return false;
    granted = data.wVersion;
    return true;
}

void UdpSocket::CleanUp()
{
    ::WSACleanup();
}

UdpSocket::Endpoint UdpSocket::EndpointOf(const std::string& dottedAddress, uint16_t port)
{
    return Endpoint{::inet_addr(dottedAddress.c_str()), ::htons(port)};
}

UdpSocket::~UdpSocket()
{
    if (handle != Closed)
        ::closesocket(Socket(handle));
}

bool UdpSocket::Open()
{
    const SOCKET made = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (made == INVALID_SOCKET)
        return false;
    // Non-blocking: a full send buffer must cost a datagram, never stall the worker.
    u_long nonBlocking = 1;
    if (::ioctlsocket(made, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(made);
        return false;
    }
    handle = static_cast<intptr_t>(made);
    return true;
}

bool UdpSocket::Bind(const Endpoint& local)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = local.address;
    address.sin_port = local.port;
    return ::bind(Socket(handle), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

UdpSocket::Endpoint UdpSocket::LocalEndpoint() const
{
    sockaddr_in address{};
    int length = sizeof address;
    if (::getsockname(Socket(handle), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return Endpoint{};
    return Endpoint{address.sin_addr.s_addr, address.sin_port};
}

UdpSocket::SendResult UdpSocket::SendTo(const uint8_t* bytes, size_t length, const Endpoint& to)
{
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = to.address;
    destination.sin_port = to.port;
    const int sent = ::sendto(Socket(handle), reinterpret_cast<const char*>(bytes), static_cast<int>(length), 0,
                              reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    if (sent == static_cast<int>(length))
        return SendResult::Sent;
    const int error = sent == SOCKET_ERROR ? ::WSAGetLastError() : 0;
    if (error == WSAEWOULDBLOCK || error == WSAENOBUFS || error == WSAEINTR)
        return SendResult::Lost;
    return SendResult::Failed;
}

bool UdpSocket::WaitReadable(std::chrono::steady_clock::duration wait)
{
    using namespace std::chrono;
    wait = std::max(wait, steady_clock::duration::zero());
    const auto us = duration_cast<microseconds>(wait);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Socket(handle), &readable);
    timeval timeout{static_cast<long>(us / 1s), static_cast<long>((us % 1s).count())};
    // The first argument is ignored by Windows Sockets.
    return ::select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

long UdpSocket::ReceiveFrom(uint8_t* into, size_t capacity, Endpoint& from)
{
    sockaddr_in sender{};
    int senderLength = sizeof sender;
    const int got = ::recvfrom(Socket(handle), reinterpret_cast<char*>(into), static_cast<int>(capacity), 0,
                               reinterpret_cast<sockaddr*>(&sender), &senderLength);
    // A datagram larger than the buffer arrives cut, flagged WSAEMSGSIZE: the
    // part this client reads is there.
    long length = got;
    if (got == SOCKET_ERROR)
        length = ::WSAGetLastError() == WSAEMSGSIZE ? static_cast<long>(capacity) : -1;
    if (length < 0 || sender.sin_family != AF_INET)
        return -1;
    from = Endpoint{sender.sin_addr.s_addr, sender.sin_port};
    return length;
}
