#pragma once

#include "SettingsStore.h"

#include <windows.h>

#include <string>

// The program's settings store on Windows: the values under
// HKEY_CURRENT_USER\software\Tavrix Corporation\<application>, texts as REG_SZ
// and integers as REG_DWORD, as the program has always kept them. The key is
// created on first access, reading included. A value of another type than
// asked for counts as missing.
class RegistrySettingsStore : public SettingsStore {
public:
    static constexpr const char* CompanyKey = "software\\Tavrix Corporation";

    explicit RegistrySettingsStore(const std::string& applicationName);
    ~RegistrySettingsStore() override;
    RegistrySettingsStore(const RegistrySettingsStore&) = delete;
    RegistrySettingsStore& operator=(const RegistrySettingsStore&) = delete;

    // The executable's file name without its folder and extension.
    static std::string ExecutableName();
    // "software\Tavrix Corporation\<application>", under HKEY_CURRENT_USER.
    static std::string KeyPath(const std::string& applicationName);

    int32_t ReadInt(const std::string& name, int32_t defaultValue) override;
    std::string ReadText(const std::string& name) override;
    void WriteText(const std::string& name, const std::string& value) override;
    void WriteInt(const std::string& name, int32_t value) override;

private:
    HKEY Key(); // opened (and created) on first use; null when the registry refuses

    std::string keyPath;
    HKEY key = nullptr;
};
