#include "AddressHistory.h"

#include "AppSettings.h"

std::vector<std::string> AddressHistory::Rows() const
{
    return {settings.ip1, settings.ip2, settings.ip3, settings.ip4};
}

bool AddressHistory::Commit(const std::string& address)
{
    for (const std::string* entry : {&settings.ip1, &settings.ip2, &settings.ip3, &settings.ip4}) {
        if (*entry == address)
            return false;
    }
    settings.ip4 = settings.ip3;
    settings.ip3 = settings.ip2;
    settings.ip2 = settings.ip1;
    settings.ip1 = address;
    return true;
}

std::string AddressHistory::Dotted(const std::array<uint8_t, 4>& address)
{
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
           std::to_string(address[3]);
}
