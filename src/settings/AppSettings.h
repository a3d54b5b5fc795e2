#pragma once

#include <array>
#include <cstdint>
#include <string>

class SettingsStore;

// The operator's choices that outlive a run. One instance per process, loaded
// once at start-up and saved once when the main window has closed.
class AppSettings {
public:
    // The unit's factory address; it seeds the oldest history entry on a first run.
    static constexpr const char* DefaultUnitAddress = "192.168.1.50";

    std::string serialport = "COM1";
    std::string baud = "115200";
    std::string dataformat = "8n1";
    std::string ip1;
    std::string ip2;
    std::string ip3;
    std::string ip4 = DefaultUnitAddress;
    int32_t portstatus = 1;
    std::string filename;
    int32_t useethernet = 0;

    void Load(SettingsStore& store);
    void Save(SettingsStore& store) const;

    // Splits "a.b.c.d" into four bytes the way atoi reads each number; missing
    // numbers are 0 and each byte keeps the low 8 bits of its number.
    static std::array<uint8_t, 4> ParseDottedAddress(const std::string& text);
};
