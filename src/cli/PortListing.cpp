#include "PortListing.h"

#include "ComPortNames.h"
#include "ExitCode.h"
#include "JsonLine.h"
#include "NetworkPortAddress.h"
#include "TextTable.h"
#include "UsbAdapterInfo.h"

PortListing::Port PortListing::DescribeOne(const std::string& listed, const std::string& devRoot,
                                           const std::string& sysRoot)
{
    Port port;
    const size_t open = listed.find(" (");
    port.comName = listed.substr(0, open);
    if (open == std::string::npos || listed.back() != ')')
        return port;
    // The device comes first in the parentheses, before any adapter description.
    const std::string inside = listed.substr(open + 2, listed.size() - open - 3);
    // A port on a device server is its address.
    if (NetworkPortAddress::IsNetworkName(inside)) {
        port.device = inside;
        return port;
    }
    const std::string below = inside.substr(0, inside.find(", "));
    port.device = devRoot + "/" + below;
    const UsbAdapterInfo usb = UsbAdapterInfo::Read(sysRoot, below.substr(below.find_last_of('/') + 1));
    port.vendorId = usb.vendorId;
    port.productId = usb.productId;
    port.serial = usb.serial;
    port.manufacturer = usb.manufacturer;
    port.product = usb.product;
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
