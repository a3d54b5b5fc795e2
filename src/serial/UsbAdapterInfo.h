#pragma once

#include <string>

// What the kernel's records say about the USB adapter behind a tty device:
// the identifiers and strings the adapter reports of itself. All empty when the
// device is no USB adapter (a UART, a pseudo-terminal).
struct UsbAdapterInfo {
    std::string vendorId; // idVendor, "0403"
    std::string productId;
    std::string serial;
    std::string manufacturer;
    std::string product; // "FT232R USB UART"

    // Reads the records of tty `kernelName` ("ttyUSB0") under sysRoot
    // (normally /sys/class/tty).
    static UsbAdapterInfo Read(const std::string& sysRoot, const std::string& kernelName);

    bool IsUsb() const { return !vendorId.empty(); }
    // A short text that tells a person which adapter this is: its product
    // string, else its maker's; printable characters only. Empty when neither.
    std::string Description() const;
};
