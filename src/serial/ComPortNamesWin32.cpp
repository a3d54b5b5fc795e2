#include "ComPortNames.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

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
    return DevicePath(number);
}

std::string ComPortNames::DevicePathIn(int number, const std::string&, const std::string&)
{
    return DevicePath(number);
}

std::vector<std::string> ComPortNames::List()
{
    std::vector<std::string> names;
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
        if (!port.empty())
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
