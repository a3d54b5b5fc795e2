#pragma once

#include <cstdio>
#include <string>
#include <vector>

// `vennix-cli ports`: the ports the window lists, each with its device and, for
// a USB adapter, what the system says identifies it.
class PortListing {
public:
    struct Port {
        std::string comName;  // "COM33"
        std::string device;   // "/dev/ttyUSB0"
        std::string vendorId; // USB idVendor, "0403"; empty when not a USB device
        std::string productId;
        std::string serial;
        std::string manufacturer;
        std::string product;
    };

    // The present ports, described from devRoot (/dev) and sysRoot (/sys/class/tty).
    static std::vector<Port> Describe(const std::vector<std::string>& listed, const std::string& devRoot,
                                      const std::string& sysRoot);
    // One entry of ComPortNames::List ("COM33 (ttyUSB0)", "COM33 (ttyUSB0, FT232R USB UART)").
    static Port DescribeOne(const std::string& listed, const std::string& devRoot, const std::string& sysRoot);

    static void PrintTable(const std::vector<Port>& ports, std::FILE* out);
    static void PrintJson(const std::vector<Port>& ports, std::FILE* out);

    // The subcommand: returns the exit code.
    static int Run(bool json, std::FILE* messages, std::FILE* results);
};
