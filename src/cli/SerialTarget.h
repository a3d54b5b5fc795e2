#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SerialPort.h"

// A serial port named on the command line, brought to the COM number that the
// download jobs address it by (a reset reopens the port by that number).
class SerialTarget {
public:
    // The baud rates and data formats the window offers; the first of each is
    // what the bootloader always uses.
    static const std::vector<uint32_t>& BaudRates();
    static const std::vector<std::string>& DataFormats();

    // "COM33" (any case, also "COM33 (ttyUSB0)" and "\\.\COM33"), or a device path that has a
    // COM number: its fixed one (/dev/ttyUSB0 is COM33) or a per-user alias
    // that points at the same device. False with a reason in *error.
    static bool Resolve(const std::string& name, int& number, std::string* error);
    // Same, looking for aliases in aliasFolder and devices under devRoot.
    static bool ResolveIn(const std::string& name, const std::string& devRoot, const std::string& aliasFolder,
                          int& number, std::string* error);

    // Any name Resolve takes, or a port on a device server, "rfc2217://HOST:PORT",
    // brought to the name the port goes by: "COM33", or "COM70" for an address
    // that a COM number stands for, else the address itself. False with a
    // reason in *error.
    static bool ResolveName(const std::string& name, std::string& portName, std::string* error);

    // Opens COM<number> as the window does: the given rate and format, no flow
    // control. Null with a reason an operator can act on in *error.
    static std::shared_ptr<SerialPort> Open(int number, uint32_t baudRate, const std::string& format,
                                            std::string* error);
    // The same for a name from ResolveName.
    static std::shared_ptr<SerialPort> OpenName(const std::string& portName, uint32_t baudRate,
                                                const std::string& format, std::string* error);
};
