#include "NetworkPortAddress.h"

#include <cctype>

namespace {

constexpr const char* kScheme = "rfc2217://";
constexpr size_t kSchemeLength = 10;

bool Fail(std::string* why, const std::string& text, const char* problem)
{
    if (why != nullptr)
        *why = "\"" + text + "\" is no network port: " + problem + " (write it as rfc2217://HOST:PORT).";
    return false;
}

bool IsHostCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

} // namespace

bool NetworkPortAddress::IsNetworkName(const std::string& text)
{
    if (text.size() < kSchemeLength)
        return false;
    for (size_t i = 0; i < kSchemeLength; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != kScheme[i])
            return false;
    return true;
}

bool NetworkPortAddress::Parse(const std::string& text, NetworkPortAddress& address, std::string* why)
{
    if (!IsNetworkName(text))
        return Fail(why, text, "it does not start with rfc2217://");
    const std::string rest = text.substr(kSchemeLength);
    std::string host;
    size_t colon = std::string::npos;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return Fail(why, text, "an IPv6 address needs brackets and a port after them");
        host = rest.substr(1, close - 1);
        for (char c : host)
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.')
                return Fail(why, text, "the IPv6 address holds characters that do not belong there");
        colon = close + 1;
    } else {
        colon = rest.find(':');
        if (colon == std::string::npos)
            return Fail(why, text, "the TCP port is missing");
        host = rest.substr(0, colon);
        for (char c : host)
            if (!IsHostCharacter(c))
                return Fail(why, text, "the host name holds characters that do not belong there");
    }
    if (host.empty())
        return Fail(why, text, "the host is missing");
    const std::string portText = rest.substr(colon + 1);
    if (portText.empty() || portText.size() > 5)
        return Fail(why, text, "the TCP port must be a number from 1 to 65535");
    unsigned long port = 0;
    for (char c : portText) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return Fail(why, text, "the TCP port must be a number from 1 to 65535");
        port = port * 10 + static_cast<unsigned long>(c - '0');
    }
    if (port < 1 || port > 65535)
        return Fail(why, text, "the TCP port must be a number from 1 to 65535");
    address.host = host;
    address.port = static_cast<uint16_t>(port);
    return true;
}

std::string NetworkPortAddress::Url() const
{
    const bool v6 = host.find(':') != std::string::npos;
    return std::string(kScheme) + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}
