#pragma once

#include <cstdint>
#include <string>

// A serial port on a serial device server, named as "rfc2217://HOST:PORT": the
// host by name, by IPv4 address or by IPv6 address in brackets, and the TCP
// port on which the server speaks RFC 2217 (Telnet Com Port Control).
struct NetworkPortAddress {
    std::string host; // without brackets
    uint16_t port = 0;

    // Whether text names a network port at all: starts with the scheme, in any case.
    static bool IsNetworkName(const std::string& text);
    // Reads "rfc2217://HOST:PORT"; false with the reason in *why when it is not one.
    static bool Parse(const std::string& text, NetworkPortAddress& address, std::string* why = nullptr);

    // "rfc2217://10.0.0.5:4001", "rfc2217://[fe80::1]:4001".
    std::string Url() const;
};
