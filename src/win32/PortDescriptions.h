#pragma once

#include <string>
#include <vector>

// The window's port list on Windows: the system's serial devices by COM name,
// each followed by the name the device gives itself where Windows knows one
// ("COM3 (USB Serial Port)"), so that a person can tell the adapters apart.
// Everything that opens a port reads only "COM" and the digits after it.
class PortDescriptions {
public:
    static std::vector<std::string> List();

    // "COM3" and Windows' friendly name "USB Serial Port (COM3)" give
    // "COM3 (USB Serial Port)"; without a friendly name, the COM name alone.
    static std::string Describe(const std::string& comName, const std::string& friendlyName);
};
