// The network device on Windows Sockets: a COM number that the program's
// registry key names as a network port, and a port opened through a small
// RFC 2217 server of the test's own on loopback. Run under wine.

#include "ComPortNames.h"
#include "Rfc2217Codec.h"
#include "SerialPort.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string ProgramName()
{
    char path[MAX_PATH] = {};
    std::string name(path, ::GetModuleFileNameA(nullptr, path, MAX_PATH));
    name = name.substr(name.find_last_of("\\/") + 1);
    return name.substr(0, name.find_last_of('.'));
}

TEST(Win32NetworkPorts, AValueUnderThePortsKeyMakesAComNumberANetworkPort)
{
    // The program's key as the settings store makes it: keys made on the way to
    // a volatile one are volatile too, and no stored key may be made under
    // those, so the settings tests running after this one would fail.
    const std::string programKey = "Software\\Tavrix Corporation\\" + ProgramName();
    HKEY parent = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, programKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &parent, nullptr),
              ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(parent, "Ports", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(parent);
    const std::string address = "rfc2217://10.0.0.5:4001";
    ASSERT_EQ(::RegSetValueExA(key, "COM97", 0, REG_SZ, reinterpret_cast<const BYTE*>(address.c_str()),
                               static_cast<DWORD>(address.size() + 1)),
              ERROR_SUCCESS);

    const std::vector<std::string> ports = ComPortNames::List();
    EXPECT_NE(std::find(ports.begin(), ports.end(), "COM97 (rfc2217://10.0.0.5:4001)"), ports.end());
    EXPECT_EQ(ComPortNames::NetworkAddress("COM97"), address);
    EXPECT_EQ(ComPortNames::NetworkAddress("\\\\.\\COM97"), address);
    EXPECT_EQ(ComPortNames::NetworkAddress("COM96"), "");

    ::RegDeleteValueA(key, "COM97");
    ::RegCloseKey(key);
}

// Accepts one client, agrees to control its port, answers each line setting,
// and sends back every data byte it receives.
class EchoingComPortServer {
public:
    EchoingComPortServer()
    {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener, 1);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
        thread = std::thread([this] { Serve(); });
    }
    ~EchoingComPortServer()
    {
        ::closesocket(listener);
        if (client != INVALID_SOCKET)
            ::shutdown(client, SD_BOTH);
        thread.join();
        if (client != INVALID_SOCKET)
            ::closesocket(client);
        ::WSACleanup();
    }
    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(port); }

private:
    void Send(const Bytes& bytes) { ::send(client, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0); }

    void Serve()
    {
        client = ::accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        // The codec takes the client's commands out of its data; the server's
        // answers are the same commands plus 100.
        Rfc2217Codec codec;
        bool greeted = false;
        for (;;) {
            uint8_t raw[2048];
            const int got = ::recv(client, reinterpret_cast<char*>(raw), sizeof raw, 0);
            if (got <= 0)
                return;
            if (!greeted) {
                Send({Rfc2217Codec::Iac, Rfc2217Codec::Do, Rfc2217Codec::OptionComPort});
                greeted = true;
            }
            for (int i = 0; i + 3 < got; ++i) {
                if (raw[i] == Rfc2217Codec::Iac && raw[i + 1] == Rfc2217Codec::Sb &&
                    raw[i + 2] == Rfc2217Codec::OptionComPort && raw[i + 3] >= Rfc2217Codec::SetBaudRate &&
                    raw[i + 3] <= Rfc2217Codec::SetStopSize) {
                    Bytes answer;
                    // The answer repeats what was asked for.
                    const int end = static_cast<int>(std::search(raw + i + 4, raw + got, std::begin(kEnd), std::end(kEnd)) - raw);
                    Rfc2217Codec::AppendCommand(static_cast<uint8_t>(raw[i + 3] + Rfc2217Codec::ServerOffset),
                                                raw + i + 4, static_cast<size_t>(end - i - 4), answer);
                    Send(answer);
                }
            }
            uint8_t data[sizeof raw];
            const size_t count = codec.Decode(raw, static_cast<size_t>(got), data);
            Bytes echo;
            Rfc2217Codec::AppendData(data, count, echo);
            Send(echo);
        }
    }

    static constexpr uint8_t kEnd[2] = {Rfc2217Codec::Iac, Rfc2217Codec::Se};
    SOCKET listener = INVALID_SOCKET;
    SOCKET client = INVALID_SOCKET;
    uint16_t port = 0;
    std::thread thread;
};

TEST(Win32NetworkPorts, BytesWithIacCrossAPortOnADeviceServer)
{
    EchoingComPortServer server;
    SerialPort port;
    ASSERT_TRUE(port.Open(server.Url(), 115200, 0, NoParity, OneStopBit, 8, FlowControl::None))
        << port.LastOpenDetail();
    const Bytes sent = {0xFF, 0x99, 'Q', ';', 0xFF, 0xFF, 0x00};
    port.Write(sent.data(), static_cast<uint32_t>(sent.size()), true);
    Bytes received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (received.size() < sent.size() && std::chrono::steady_clock::now() < deadline) {
        uint8_t buffer[64];
        const int count = port.Read(buffer, sizeof buffer, 10);
        received.insert(received.end(), buffer, buffer + count);
    }
    EXPECT_EQ(received, sent);
    port.Close();
}

TEST(Win32NetworkPorts, AnAddressWhereNothingListensFailsSayingSo)
{
    // A port that was free a moment ago: bound, then let go.
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    ::closesocket(probe);
    ::WSACleanup();
    const std::string url = "rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    SerialPort port;
    EXPECT_FALSE(port.Open(url, 115200, 0, NoParity, OneStopBit, 8, FlowControl::None));
    EXPECT_EQ(port.LastOpenError(), SerialOpenError::NoSuchDevice);
    EXPECT_NE(port.LastOpenDetail().find(url), std::string::npos) << port.LastOpenDetail();
}

} // namespace
