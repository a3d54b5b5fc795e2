#include "ComPortNames.h"

#include "NetworkPortAddress.h"

#include <cctype>
#include <climits>

// The same on every platform: a port name is "COM" and its number.
int ComPortNames::ParseNumber(const std::string& name)
{
    if (name.size() < 3)
        return 0;
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return 0;
    }
    long long value = 0;
    for (size_t i = 3; i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])); ++i) {
        value = value * 10 + (name[i] - '0');
        if (value > INT_MAX)
            return 0;
    }
    return static_cast<int>(value);
}

std::string ComPortNames::NetworkAddress(const std::string& name)
{
    const std::string devicePrefix = "\\\\.\\";
    const std::string rest = name.rfind(devicePrefix, 0) == 0 ? name.substr(devicePrefix.size()) : name;
    if (NetworkPortAddress::IsNetworkName(rest))
        return rest;
    const int number = ParseNumber(rest);
    return number > 0 ? NetworkAddressOf(number) : std::string();
}

std::string ComPortNames::NetworkEntry(int number, const std::string& address)
{
    return "COM" + std::to_string(number) + " (" + address + ")";
}
