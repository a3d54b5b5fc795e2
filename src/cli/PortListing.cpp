#include "PortListing.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "ComPortNames.h"
#include "ExitCode.h"
#include "JsonLine.h"
#include "TextTable.h"

namespace {

// A tty's device link ends at a USB interface (ttyACM) or one level below it
// (ttyUSB, the usb-serial port); the USB device with the identifying records is
// a few levels up. Deeper than this is no USB adapter.
constexpr int UsbSearchLevels = 4;

std::string FirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

bool IsFile(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

void FillUsb(const std::string& sysRoot, const std::string& kernelName, PortListing::Port& port)
{
    std::error_code error;
    std::string folder = std::filesystem::canonical(sysRoot + "/" + kernelName + "/device", error).string();
    if (error)
        return;
    for (int level = 0; level < UsbSearchLevels && !folder.empty(); ++level) {
        if (IsFile(folder + "/idVendor")) {
            port.vendorId = FirstLine(folder + "/idVendor");
            port.productId = FirstLine(folder + "/idProduct");
            port.serial = FirstLine(folder + "/serial");
            port.manufacturer = FirstLine(folder + "/manufacturer");
            port.product = FirstLine(folder + "/product");
            return;
        }
        folder = folder.substr(0, folder.find_last_of('/'));
    }
}

} // namespace

PortListing::Port PortListing::DescribeOne(const std::string& listed, const std::string& devRoot,
                                           const std::string& sysRoot)
{
    Port port;
    const size_t open = listed.find(" (");
    port.comName = listed.substr(0, open);
    if (open == std::string::npos || listed.back() != ')')
        return port;
    const std::string below = listed.substr(open + 2, listed.size() - open - 3);
    port.device = devRoot + "/" + below;
    FillUsb(sysRoot, below.substr(below.find_last_of('/') + 1), port);
    return port;
}

std::vector<PortListing::Port> PortListing::Describe(const std::vector<std::string>& listed,
                                                     const std::string& devRoot, const std::string& sysRoot)
{
    std::vector<Port> ports;
    for (const std::string& name : listed)
        ports.push_back(DescribeOne(name, devRoot, sysRoot));
    return ports;
}

void PortListing::PrintTable(const std::vector<Port>& ports, std::FILE* out)
{
    TextTable table({"PORT", "DEVICE", "USB ID", "SERIAL", "ADAPTER"});
    for (const Port& port : ports) {
        std::string id = port.vendorId.empty() ? std::string() : port.vendorId + ":" + port.productId;
        std::string adapter = port.manufacturer;
        if (!port.product.empty())
            adapter += (adapter.empty() ? "" : " ") + port.product;
        table.Add({port.comName, port.device, id, port.serial, adapter});
    }
    table.Print(out);
}

void PortListing::PrintJson(const std::vector<Port>& ports, std::FILE* out)
{
    for (const Port& port : ports) {
        nlohmann::json line = {{"port", port.comName}, {"device", port.device}};
        if (!port.vendorId.empty()) {
            line["usb"] = {{"vendor", port.vendorId},
                           {"product", port.productId},
                           {"serial", port.serial},
                           {"manufacturer", port.manufacturer},
                           {"productName", port.product}};
        }
        JsonLine::Write(out, line);
    }
}

int PortListing::Run(bool json, std::FILE* messages, std::FILE* results)
{
    const std::vector<Port> ports = Describe(ComPortNames::List(), "/dev", "/sys/class/tty");
    if (json) {
        PrintJson(ports, results);
        return ExitFinished;
    }
    if (ports.empty()) {
        std::fprintf(messages, "vennix-cli: no serial ports found.\n");
        return ExitFinished;
    }
    PrintTable(ports, results);
    return ExitFinished;
}
