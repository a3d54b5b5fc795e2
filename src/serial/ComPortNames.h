#pragma once

#include <string>
#include <vector>

// The COM numbering of serial devices. A port is addressed by number:
// ttyS<n> is COM<n+1>, ttyUSB<n> is COM<n+33>, ttyACM<n> is COM<n+65>, and a
// symbolic link named COM<n> in the user's port alias folder names any tty
// device as COM<n>, winning over that fixed numbering. A COM number can also
// stand for a port on a serial device server: on Linux an alias whose target
// is "rfc2217://HOST:PORT", on Windows a value COM<n> with that text under the
// program's registry key, sub-key Ports.
class ComPortNames {
public:
    // The serial devices present now, each as its COM name followed by its
    // device in parentheses ("COM33 (ttyUSB0)") and, for a USB adapter that
    // names itself, its description after a comma ("COM33 (ttyUSB0, FT232R USB
    // UART)"), in case-insensitive alphabetical order.
    // A network port is listed as its COM name followed by its address:
    // "COM70 (rfc2217://10.0.0.5:4001)".
    static std::vector<std::string> List();
    // The same, looking for devices under devRoot, their kernel records under
    // sysRoot (normally /sys/class/tty) and aliases in aliasFolder.
    static std::vector<std::string> ListIn(const std::string& devRoot, const std::string& sysRoot,
                                           const std::string& aliasFolder);

    // The device path that port number n opens: the alias when there is one,
    // else the fixed device, whether present or not. Empty for numbers below 1.
    static std::string DevicePath(int number);
    static std::string DevicePathIn(int number, const std::string& devRoot,
                                    const std::string& aliasFolder);
    // The device behind port number n as the system names it, for a record of
    // what was used: an alias's link resolved (the alias may point elsewhere
    // tomorrow); DevicePath when it cannot be resolved; the address of a
    // network port ("rfc2217://10.0.0.5:4001").
    static std::string RealDevicePath(int number);

    // The number of a port name: reads "COM" (in any case) at the start and
    // the digits right after it, ignoring whatever follows ("COM33 (ttyUSB0)"
    // is 33). 0 when the name does not start so.
    static int ParseNumber(const std::string& name);

    // The network address a port name stands for: the name itself when it is
    // "rfc2217://HOST:PORT", the address behind its COM number when that
    // number is a network port ("COM70", "\\.\COM70", "COM70 (...)"); empty
    // for every other port.
    static std::string NetworkAddress(const std::string& name);
    // The address behind COM<number>; empty when it is no network port.
    static std::string NetworkAddressOf(int number);
    static std::string NetworkAddressIn(int number, const std::string& aliasFolder);
    // How the port list shows a network port: "COM70 (rfc2217://10.0.0.5:4001)".
    static std::string NetworkEntry(int number, const std::string& address);

    // COM number of a device's kernel name ("ttyUSB0" is 33); 0 for names
    // outside the fixed numbering.
    static int FixedNumber(const std::string& kernelName);
};
