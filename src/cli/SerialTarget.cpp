#include "SerialTarget.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "ComPortNames.h"
#include "NetworkPortAddress.h"
#include "UserFolders.h"

namespace {

std::string RealPath(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(path, error);
    return error ? std::string() : resolved.string();
}

std::string BaseName(const std::string& path)
{
    return path.substr(path.find_last_of('/') + 1);
}

// Whether COM<number> opens the device at realDevice.
bool OpensDevice(int number, const std::string& realDevice, const std::string& devRoot,
                 const std::string& aliasFolder)
{
    const std::string path = ComPortNames::DevicePathIn(number, devRoot, aliasFolder);
    return !path.empty() && RealPath(path) == realDevice;
}

std::string OpenFailure(const std::string& name, SerialOpenError why, uint32_t baudRate)
{
    switch (why) {
    case SerialOpenError::NoSuchDevice:
        return name + " is not present. Check that the cable or USB adapter is plugged in (vennix-cli ports "
                      "lists the ports there are).";
    case SerialOpenError::InUse:
        return name + " is in use by another program. Close that program, or pick another port.";
    case SerialOpenError::PermissionDenied:
#ifdef _WIN32
        return "You are not allowed to use " + name +
               ". Another program may hold it; close that program, or ask your administrator for access.";
#else
        return "You are not allowed to use " + name +
               ". Add your user to the dialout group (sudo usermod -aG dialout $USER), then log in again.";
#endif
    case SerialOpenError::RateNotSupported:
        return name + " does not support " + std::to_string(baudRate) + " baud. Pick another rate.";
    case SerialOpenError::None:
    case SerialOpenError::Other:
        break;
    }
    return name + " could not be set up with these settings.";
}

} // namespace

const std::vector<uint32_t>& SerialTarget::BaudRates()
{
    static const std::vector<uint32_t> rates = {115200, 57600, 38400, 19200, 14400, 9600, 4800, 2400, 1200, 600};
    return rates;
}

const std::vector<std::string>& SerialTarget::DataFormats()
{
    static const std::vector<std::string> formats = {"8n1", "8n2", "8o1", "8o2", "8e1", "8e2"};
    return formats;
}

bool SerialTarget::Resolve(const std::string& name, int& number, std::string* error)
{
    return ResolveIn(name, "/dev", UserFolders::ComAliasFolder(), number, error);
}

bool SerialTarget::ResolveIn(const std::string& name, const std::string& devRoot, const std::string& aliasFolder,
                             int& number, std::string* error)
{
    // "\\.\COM12" is how Windows people write a port above COM9.
    const std::string deviceNamespace = "\\\\.\\";
    const bool namespaced = name.rfind(deviceNamespace, 0) == 0;
    number = ComPortNames::ParseNumber(namespaced ? name.substr(deviceNamespace.size()) : name);
    if (number > 0)
        return true;
    if (name.empty() || name[0] != '/') {
#ifdef _WIN32
        *error = "\"" + name + "\" is no serial port: give a COM name such as COM3 (vennix-cli ports lists them).";
#else
        *error = "\"" + name + "\" is no serial port: give a COM name such as COM33, or a device path such as "
                               "/dev/ttyUSB0.";
#endif
        return false;
    }
    const std::string device = RealPath(name);
    if (device.empty()) {
        *error = name + " does not exist. Check that the cable or USB adapter is plugged in.";
        return false;
    }
    const int fixed = ComPortNames::FixedNumber(BaseName(device));
    if (fixed > 0 && OpensDevice(fixed, device, devRoot, aliasFolder)) {
        number = fixed;
        return true;
    }
    std::error_code listing;
    for (std::filesystem::directory_iterator entry(aliasFolder, listing), end; !listing && entry != end;
         entry.increment(listing)) {
        const int alias = ComPortNames::ParseNumber(entry->path().filename().string());
        if (alias > 0 && OpensDevice(alias, device, devRoot, aliasFolder)) {
            number = alias;
            break;
        }
    }
    if (number > 0)
        return true;
    // A download that resets the terminal reopens the port by its COM number.
    *error = name + " has no COM name. Give it one with a symbolic link COM<n> in " + aliasFolder +
             " (for example COM70), then name it as COM70.";
    return false;
}

bool SerialTarget::ResolveName(const std::string& name, std::string& portName, std::string* error)
{
    if (!NetworkPortAddress::IsNetworkName(name)) {
        int number = 0;
        if (!Resolve(name, number, error))
            return false;
        portName = "COM" + std::to_string(number);
        return true;
    }
    NetworkPortAddress address;
    if (!NetworkPortAddress::Parse(name, address, error))
        return false;
    // Under its COM name when it has one, as the window would show it.
    for (const std::string& listed : ComPortNames::List()) {
        NetworkPortAddress known;
        if (NetworkPortAddress::Parse(ComPortNames::NetworkAddress(listed), known) && known.host == address.host &&
            known.port == address.port) {
            portName = "COM" + std::to_string(ComPortNames::ParseNumber(listed));
            return true;
        }
    }
    portName = address.Url();
    return true;
}

std::shared_ptr<SerialPort> SerialTarget::OpenName(const std::string& portName, uint32_t baudRate,
                                                   const std::string& format, std::string* error)
{
    if (!NetworkPortAddress::IsNetworkName(portName))
        return Open(ComPortNames::ParseNumber(portName), baudRate, format, error);
    const char parityLetter = format.size() >= 2 ? static_cast<char>(std::tolower(format[1])) : 'n';
    const int parity = parityLetter == 'e' ? EvenParity : parityLetter == 'o' ? OddParity : NoParity;
    const int stopBits = format.size() >= 3 && format[2] == '2' ? TwoStopBits : OneStopBit;
    auto port = std::make_shared<SerialPort>();
    if (port->Open(portName, baudRate, 0, parity, stopBits, 8, FlowControl::None))
        return port;
    *error = port->LastOpenDetail().empty() ? OpenFailure(portName, port->LastOpenError(), baudRate)
                                            : port->LastOpenDetail();
    return nullptr;
}

std::shared_ptr<SerialPort> SerialTarget::Open(int number, uint32_t baudRate, const std::string& format,
                                               std::string* error)
{
    // Formats are "8" plus parity letter plus stop bits, as DataFormats lists them.
    const char parityLetter = format.size() >= 2 ? static_cast<char>(std::tolower(format[1])) : 'n';
    const int parity = parityLetter == 'e' ? EvenParity : parityLetter == 'o' ? OddParity : NoParity;
    const int stopBits = format.size() >= 3 && format[2] == '2' ? TwoStopBits : OneStopBit;

    auto port = std::make_shared<SerialPort>();
    if (port->OpenByNumber(number, baudRate, 0, parity, stopBits, 8, FlowControl::None))
        return port;
    *error = port->LastOpenDetail().empty()
                 ? OpenFailure("COM" + std::to_string(number), port->LastOpenError(), baudRate)
                 : port->LastOpenDetail();
    return nullptr;
}
