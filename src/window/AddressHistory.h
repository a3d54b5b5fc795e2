#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class AppSettings;

// The four most recently used unit addresses, ip1 (newest) to ip4 of the
// settings; an empty entry keeps its place.
class AddressHistory {
public:
    explicit AddressHistory(AppSettings& settings) : settings(settings) {}

    // The rows of the history list, ip1 first, empty entries included.
    std::vector<std::string> Rows() const;
    // Shifts `address` in at the front, dropping ip4, unless it is already an
    // entry. True when the history changed.
    bool Commit(const std::string& address);

    // "%d.%d.%d.%d"
    static std::string Dotted(const std::array<uint8_t, 4>& address);

private:
    AppSettings& settings;
};
