#include "RegistrySettingsStore.h"

#include <vector>

RegistrySettingsStore::RegistrySettingsStore(const std::string& applicationName)
    : keyPath(KeyPath(applicationName))
{
}

RegistrySettingsStore::~RegistrySettingsStore()
{
    if (key)
        ::RegCloseKey(key);
}

std::string RegistrySettingsStore::ExecutableName()
{
    std::vector<char> path(MAX_PATH);
    for (;;) {
        DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return "vennix";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2); // a long path: the name was cut short
    }
    std::string name(path.begin(), path.end());
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

std::string RegistrySettingsStore::KeyPath(const std::string& applicationName)
{
    return std::string(CompanyKey) + "\\" + applicationName;
}

HKEY RegistrySettingsStore::Key()
{
    if (!key) {
        HKEY opened = nullptr;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, &opened, nullptr) == ERROR_SUCCESS)
            key = opened;
    }
    return key;
}

int32_t RegistrySettingsStore::ReadInt(const std::string& name, int32_t defaultValue)
{
    HKEY opened = Key();
    if (!opened)
        return defaultValue;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExA(opened, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        return defaultValue;
    return static_cast<int32_t>(value);
}

std::string RegistrySettingsStore::ReadText(const std::string& name)
{
    HKEY opened = Key();
    if (!opened)
        return std::string();
    // The value may change size between the two calls; ask again when it grew.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExA(opened, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            return std::string();
        std::vector<char> data(size + 1, '\0');
        DWORD got = size;
        LONG result = ::RegQueryValueExA(opened, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            return std::string();
        // A stored text need not end with its terminator; it ends at the first one.
        data[got] = '\0';
        return std::string(data.data());
    }
    return std::string();
}

void RegistrySettingsStore::WriteText(const std::string& name, const std::string& value)
{
    if (HKEY opened = Key())
        ::RegSetValueExA(opened, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1));
}

void RegistrySettingsStore::WriteInt(const std::string& name, int32_t value)
{
    DWORD data = static_cast<DWORD>(value);
    if (HKEY opened = Key())
        ::RegSetValueExA(opened, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
}
