#include "PortDescriptions.h"

#include "ComPortNames.h"

#include <windows.h>
#include <devguid.h>
#include <setupapi.h>

#include <map>

namespace {

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Friendly names of the present devices of the ports class, by upper-case COM name.
std::map<std::string, std::string> FriendlyNames()
{
    std::map<std::string, std::string> names;
    HDEVINFO devices = ::SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        char port[64] = "";
        DWORD size = sizeof(port) - 1;
        DWORD type = 0;
        const bool named = ::RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(port), &size) ==
                               ERROR_SUCCESS &&
                           type == REG_SZ;
        ::RegCloseKey(key);
        char friendly[256] = "";
        if (named && ::SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                         reinterpret_cast<BYTE*>(friendly), sizeof(friendly) - 1,
                                                         nullptr))
            names[Upper(port)] = friendly;
    }
    ::SetupDiDestroyDeviceInfoList(devices);
    return names;
}

} // namespace

std::string PortDescriptions::Describe(const std::string& comName, const std::string& friendlyName)
{
    std::string own = friendlyName;
    // Windows ends the friendly name with the COM name in parentheses; it is said once, in front.
    const std::string suffix = " (" + Upper(comName) + ")";
    if (own.size() >= suffix.size() && Upper(own.substr(own.size() - suffix.size())) == suffix)
        own.erase(own.size() - suffix.size());
    while (!own.empty() && own.back() == ' ')
        own.pop_back();
    return own.empty() ? comName : comName + " (" + own + ")";
}

std::vector<std::string> PortDescriptions::List()
{
    const std::map<std::string, std::string> friendly = FriendlyNames();
    std::vector<std::string> ports;
    for (const std::string& name : ComPortNames::List()) {
        auto found = friendly.find(Upper(name));
        ports.push_back(found == friendly.end() ? name : Describe(name, found->second));
    }
    return ports;
}
