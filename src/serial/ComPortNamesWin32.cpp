#include "ComPortNames.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "NetworkPortAddress.h"

namespace {

// The system's list of serial devices: one value per device, its data the
// port name ("COM1").
constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SerialComm";
// Sizes of the value-name and data buffers; a value whose name or data does
// not fit ends the enumeration.
constexpr DWORD kEnumBufferSize = 256;

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    return ::_stricmp(a.c_str(), b.c_str()) < 0;
}

// The program's registry key is named after its executable; the window's own
// key is also read, so that vennix-cli finds the network ports the window knows.
constexpr const char* kCompanyKey = "Software\\Tavrix Corporation\\";
constexpr const char* kWindowProgram = "Vennix";
constexpr const char* kPortsSubKey = "\\Ports";

std::string ProgramName()
{
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, length);
    name = name.substr(name.find_last_of("\\/") + 1);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// COM number -> address of the network ports under one program's key.
void ReadNetworkPorts(const std::string& program, std::map<int, std::string>& ports)
{
    HKEY key = nullptr;
    const std::string path = std::string(kCompanyKey) + program + kPortsSubKey;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        char valueName[kEnumBufferSize];
        BYTE data[kEnumBufferSize];
        DWORD nameSize = kEnumBufferSize;
        DWORD dataSize = kEnumBufferSize;
        DWORD type = 0;
        if (::RegEnumValueA(key, index, valueName, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        if (type != REG_SZ)
            continue;
        std::string address(reinterpret_cast<const char*>(data), dataSize);
        address.resize(std::strlen(address.c_str()));
        const int number = ComPortNames::ParseNumber(std::string(valueName, nameSize));
        // The program's own key is read first and wins.
        if (number > 0 && NetworkPortAddress::IsNetworkName(address) && ports.count(number) == 0)
            ports[number] = address;
    }
    ::RegCloseKey(key);
}

std::map<int, std::string> NetworkPorts()
{
    std::map<int, std::string> ports;
    const std::string program = ProgramName();
    ReadNetworkPorts(program, ports);
    if (::_stricmp(program.c_str(), kWindowProgram) != 0)
        ReadNetworkPorts(kWindowProgram, ports);
    return ports;
}

} // namespace

// Windows names its serial devices by COM number itself; there is no fixed
// numbering of kernel names to follow.
int ComPortNames::FixedNumber(const std::string&)
{
    return 0;
}

std::string ComPortNames::DevicePath(int number)
{
    if (number < 1)
        return std::string();
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", number);
    return name;
}

std::string ComPortNames::RealDevicePath(int number)
{
    const std::string address = NetworkAddressOf(number);
    return address.empty() ? DevicePath(number) : address;
}

std::string ComPortNames::DevicePathIn(int number, const std::string&, const std::string&)
{
    return DevicePath(number);
}

std::string ComPortNames::NetworkAddressOf(int number)
{
    const std::map<int, std::string> ports = NetworkPorts();
    const auto found = ports.find(number);
    return found == ports.end() ? std::string() : found->second;
}

std::string ComPortNames::NetworkAddressIn(int number, const std::string&)
{
    return NetworkAddressOf(number);
}

std::vector<std::string> ComPortNames::List()
{
    std::vector<std::string> names;
    // A network port wins over a device of the same number: that number opens it.
    const std::map<int, std::string> network = NetworkPorts();
    for (const auto& [number, address] : network)
        names.push_back(NetworkEntry(number, address));
    HKEY key = nullptr;
    // Read access is all the list needs, and all that a user without
    // administrator rights is granted on this key.
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char valueName[kEnumBufferSize];
        BYTE data[kEnumBufferSize];
        DWORD nameSize = kEnumBufferSize;
        DWORD dataSize = kEnumBufferSize;
        DWORD type = 0;
        if (::RegEnumValueA(key, index, valueName, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        // The data length counts the terminating zero of a string value.
        std::string port(reinterpret_cast<const char*>(data), dataSize);
        port.resize(std::strlen(port.c_str()));
        if (!port.empty() && network.count(ParseNumber(port)) == 0)
            names.push_back(port);
    }
    ::RegCloseKey(key);
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

std::vector<std::string> ComPortNames::ListIn(const std::string&, const std::string&, const std::string&)
{
    return List();
}
