#include "UsbAdapterInfo.h"

#include <filesystem>
#include <system_error>

#include <fstream>

namespace {

// A tty's device link ends at a USB interface (ttyACM) or one level below it
// (ttyUSB, the usb-serial port); the USB device with the identifying records is
// a few levels up. Deeper than this is no USB adapter.
constexpr int UsbSearchLevels = 4;

// USB strings may be up to 126 characters; a port list entry stays readable.
constexpr size_t MaxDescriptionLength = 40;

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

// The adapter's own strings are not ours to trust: no control bytes, no
// characters that would end an entry's parentheses early, runs of blanks as one.
std::string Printable(const std::string& text)
{
    std::string shown;
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const bool keep = byte >= 0x20 && byte < 0x7F && c != '(' && c != ')' && c != ',';
        const char out = keep ? c : ' ';
        if (out == ' ' && (shown.empty() || shown.back() == ' '))
            continue;
        shown += out;
    }
    if (shown.size() > MaxDescriptionLength)
        shown.resize(MaxDescriptionLength);
    while (!shown.empty() && shown.back() == ' ')
        shown.pop_back();
    return shown;
}

} // namespace

UsbAdapterInfo UsbAdapterInfo::Read(const std::string& sysRoot, const std::string& kernelName)
{
    UsbAdapterInfo info;
    if (kernelName.empty())
        return info;
    std::error_code error;
    std::string folder = std::filesystem::canonical(sysRoot + "/" + kernelName + "/device", error).string();
    if (error)
        return info;
    for (int level = 0; level < UsbSearchLevels && !folder.empty(); ++level) {
        if (IsFile(folder + "/idVendor")) {
            info.vendorId = FirstLine(folder + "/idVendor");
            info.productId = FirstLine(folder + "/idProduct");
            info.serial = FirstLine(folder + "/serial");
            info.manufacturer = FirstLine(folder + "/manufacturer");
            info.product = FirstLine(folder + "/product");
            return info;
        }
        folder = folder.substr(0, folder.find_last_of('/'));
    }
    return info;
}

std::string UsbAdapterInfo::Description() const
{
    const std::string shown = Printable(product);
    return shown.empty() ? Printable(manufacturer) : shown;
}
