// The settings in the registry as the program has always kept them: under
// HKCU\software\Tavrix Corporation\<application>, texts as REG_SZ, integers as
// REG_DWORD, with the missing-value rules. Each test uses a key of its own and
// removes it again.

#include "AppSettings.h"
#include "RegistrySettingsStore.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        application = "VennixTest" + std::to_string(::GetCurrentProcessId()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name();
        path = RegistrySettingsStore::KeyPath(application);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    }
    void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str()); }

    HKEY OpenKey()
    {
        HKEY key = nullptr;
        EXPECT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                    nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    void PutText(const char* name, const std::string& value)
    {
        HKEY key = OpenKey();
        ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1));
        ::RegCloseKey(key);
    }
    void PutDword(const char* name, DWORD value)
    {
        HKEY key = OpenKey();
        ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
        ::RegCloseKey(key);
    }
    // The type and the raw bytes of a value; type 0 when it is missing.
    std::pair<DWORD, std::vector<BYTE>> Raw(const char* name)
    {
        HKEY key = OpenKey();
        DWORD type = 0;
        DWORD size = 0;
        std::vector<BYTE> data;
        if (::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            data.resize(size);
            ::RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
        } else {
            type = 0;
        }
        ::RegCloseKey(key);
        return {type, data};
    }
    bool KeyExists()
    {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(key);
        return true;
    }

    std::string application;
    std::string path;
};

std::string Text(const std::vector<BYTE>& data)
{
    return std::string(reinterpret_cast<const char*>(data.data()));
}

DWORD Dword(const std::vector<BYTE>& data)
{
    DWORD value = 0;
    if (data.size() == sizeof(value))
        std::memcpy(&value, data.data(), sizeof(value));
    return value;
}

TEST_F(RegistryStoreTest, SaveWritesEveryValueWithItsTypeUnderTheCompanyAndApplicationKey)
{
    EXPECT_EQ(path, "software\\Tavrix Corporation\\" + application);
    AppSettings settings;
    settings.serialport = "COM12";
    settings.baud = "9600";
    settings.dataformat = "8e1";
    settings.ip1 = "10.0.0.7";
    settings.portstatus = 2;
    settings.useethernet = -1;
    settings.filename = "C:\\images\\fw.bin";
    RegistrySettingsStore store(application);
    settings.Save(store);

    const std::pair<const char*, std::string> texts[] = {
        {"serialport", "COM12"}, {"baud", "9600"}, {"dataformat", "8e1"}, {"ip1", "10.0.0.7"}, {"ip2", ""},
        {"ip3", ""},             {"ip4", "192.168.1.50"}, {"filename", "C:\\images\\fw.bin"}};
    for (const auto& [name, value] : texts) {
        auto [type, data] = Raw(name);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
        EXPECT_EQ(Text(data), value) << name;
    }
    auto [portType, port] = Raw("portstatus");
    EXPECT_EQ(portType, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Dword(port), 2u);
    auto [ethernetType, ethernet] = Raw("useethernet");
    EXPECT_EQ(ethernetType, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Dword(ethernet), 0xFFFFFFFFu); // -1 as the 32-bit value it is
}

TEST_F(RegistryStoreTest, WhatWasSavedLoadsBack)
{
    AppSettings saved;
    saved.serialport = "COM3";
    saved.baud = "57600";
    saved.dataformat = "8o2";
    saved.ip1 = "1.2.3.4";
    saved.ip2 = "";
    saved.ip3 = "5.6.7.8";
    saved.ip4 = "9.9.9.9";
    saved.portstatus = 0;
    saved.useethernet = 1;
    saved.filename = "D:\\app.bff";
    {
        RegistrySettingsStore store(application);
        saved.Save(store);
    }
    AppSettings loaded;
    RegistrySettingsStore store(application);
    loaded.Load(store);
    EXPECT_EQ(loaded.serialport, "COM3");
    EXPECT_EQ(loaded.baud, "57600");
    EXPECT_EQ(loaded.dataformat, "8o2");
    EXPECT_EQ(loaded.ip1, "1.2.3.4");
    EXPECT_EQ(loaded.ip2, "");
    EXPECT_EQ(loaded.ip3, "5.6.7.8");
    EXPECT_EQ(loaded.ip4, "9.9.9.9");
    EXPECT_EQ(loaded.portstatus, 0);
    EXPECT_EQ(loaded.useethernet, 1);
    EXPECT_EQ(loaded.filename, "D:\\app.bff");
}

TEST_F(RegistryStoreTest, MissingValuesFollowTheStoredFormsRules)
{
    // Without portstatus nothing is taken, whatever else is there.
    PutText("serialport", "COM9");
    PutDword("useethernet", 1);
    {
        AppSettings settings;
        RegistrySettingsStore store(application);
        settings.Load(store);
        EXPECT_EQ(settings.serialport, "COM1");
        EXPECT_EQ(settings.useethernet, 0);
        EXPECT_EQ(settings.ip4, "192.168.1.50");
    }
    // With it, a missing text reads empty and a missing useethernet as -1.
    PutDword("portstatus", 1);
    ::RegDeleteKeyValueA(HKEY_CURRENT_USER, path.c_str(), "useethernet");
    AppSettings settings;
    RegistrySettingsStore store(application);
    settings.Load(store);
    EXPECT_EQ(settings.serialport, "COM9");
    EXPECT_EQ(settings.baud, "");
    EXPECT_EQ(settings.ip4, "");
    EXPECT_EQ(settings.useethernet, -1);
}

TEST_F(RegistryStoreTest, AValueOfAnotherTypeCountsAsMissing)
{
    PutText("portstatus", "1"); // a text where a number belongs
    PutDword("serialport", 7);
    RegistrySettingsStore store(application);
    EXPECT_EQ(store.ReadInt("portstatus", -1), -1);
    EXPECT_EQ(store.ReadText("serialport"), "");
    AppSettings settings;
    settings.Load(store);
    EXPECT_EQ(settings.serialport, "COM1"); // no earlier run counted
}

TEST_F(RegistryStoreTest, TheKeyIsMadeOnFirstAccessAndLongTextsComeBackWhole)
{
    EXPECT_FALSE(KeyExists());
    RegistrySettingsStore store(application);
    EXPECT_EQ(store.ReadInt("portstatus", 5), 5);
    EXPECT_TRUE(KeyExists());

    const std::string longPath = "C:\\" + std::string(5000, 'x') + "\\fw.bin";
    store.WriteText("filename", longPath);
    EXPECT_EQ(store.ReadText("filename"), longPath);
    store.WriteText("filename", "");
    EXPECT_EQ(store.ReadText("filename"), "");
}

TEST_F(RegistryStoreTest, PathsInAnyScriptSurviveTheAnsiCallsThroughUtf8)
{
    // The manifest makes UTF-8 the process's ANSI code page, so a path in
    // any script passes through the A calls and is stored as what it is.
    ASSERT_EQ(::GetACP(), static_cast<UINT>(CP_UTF8));
    const std::string path8 = "C:\\Gr\xC3\xB6\xC3\x9F" "e\\\xE6\x9B\xB4\xE6\x96\xB0\\fw.bin"; // Größe, 更新
    RegistrySettingsStore store(application);
    store.WriteText("filename", path8);
    EXPECT_EQ(store.ReadText("filename"), path8);

    HKEY key = OpenKey();
    wchar_t wide[64] = {};
    DWORD size = sizeof(wide);
    ASSERT_EQ(::RegQueryValueExW(key, L"filename", nullptr, nullptr, reinterpret_cast<BYTE*>(wide), &size),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(std::wstring(wide), std::wstring(L"C:\\Gr\u00F6\u00DFe\\\u66F4\u65B0\\fw.bin"));
}

TEST(RegistryStoreNames, TheApplicationIsTheExecutablesNameWithoutItsExtension)
{
    EXPECT_EQ(RegistrySettingsStore::ExecutableName(), "win32_settings_tests");
}

} // namespace
