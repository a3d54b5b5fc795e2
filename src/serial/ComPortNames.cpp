#include "ComPortNames.h"

#include "NetworkPortAddress.h"
#include "UsbAdapterInfo.h"
#include "UserFolders.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <strings.h>
#include <system_error>

namespace {

struct Family {
    const char* prefix;
    int firstNumber; // COM number of device 0
    int count;       // how many COM numbers the family owns (0: no limit)
};

// The fixed numbering. Each family owns a block of numbers so that a device
// keeps its COM name whatever else is plugged in.
constexpr Family kFamilies[] = {
    { "ttyS", 1, 32 },
    { "ttyUSB", 33, 32 },
    { "ttyACM", 65, 0 },
};

// Kernel port type of a UART slot with no hardware behind it.
constexpr const char* kUnknownPortType = "0";

// Digits after a prefix, as a positive number; -1 when there are none, when
// anything follows them, or when they overflow.
int TrailingNumber(const std::string& text, size_t from)
{
    if (from >= text.size())
        return -1;
    long long value = 0;
    for (size_t i = from; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return -1;
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX)
            return -1;
    }
    return static_cast<int>(value);
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool IsSymlink(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return names;
    while (dirent* entry = ::readdir(dir))
        names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
}

// A ttyS slot exists for every UART the kernel could drive; only those with a
// device and a known port type have hardware behind them.
bool HasHardware(const std::string& sysRoot, const std::string& kernelName)
{
    const std::string record = sysRoot + "/" + kernelName;
    if (!Exists(record + "/device"))
        return false;
    if (kernelName.rfind("ttyS", 0) != 0)
        return true;
    std::ifstream typeFile(record + "/type");
    std::string type;
    if (!(typeFile >> type))
        return true; // no type record: trust the device link
    return type != kUnknownPortType;
}

// How an alias's device is shown: its path below /dev when it is a device
// there ("pts/3", "ttyUSB0"), else its file name.
std::string AliasDisplayName(const std::string& aliasPath)
{
    char resolved[PATH_MAX];
    if (::realpath(aliasPath.c_str(), resolved) == nullptr)
        return std::string();
    std::string target(resolved);
    const std::string dev = "/dev/";
    if (target.rfind(dev, 0) == 0)
        return target.substr(dev.size());
    return target.substr(target.find_last_of('/') + 1);
}

// "COM33 (ttyUSB0)", or with what identifies the adapter where the kernel's
// records tell it: "COM33 (ttyUSB0, FT232R USB UART)". The COM name stays first
// and the device right after the parenthesis, so that prefix matching of a
// stored name and the number's parsing see what they always did.
std::string Entry(const std::string& comName, const std::string& shown, const std::string& sysRoot)
{
    const std::string kernelName = shown.substr(shown.find_last_of('/') + 1);
    const std::string description = UsbAdapterInfo::Read(sysRoot, kernelName).Description();
    return comName + " (" + shown + (description.empty() ? "" : ", " + description) + ")";
}

// The text a symbolic link holds, unresolved.
std::string LinkTarget(const std::string& path)
{
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    return ::strcasecmp(a.c_str(), b.c_str()) < 0;
}

} // namespace

int ComPortNames::FixedNumber(const std::string& kernelName)
{
    for (const Family& family : kFamilies) {
        const std::string prefix(family.prefix);
        if (kernelName.rfind(prefix, 0) != 0)
            continue;
        const int index = TrailingNumber(kernelName, prefix.size());
        if (index < 0 || (family.count > 0 && index >= family.count))
            return 0;
        if (index > INT_MAX - family.firstNumber)
            return 0;
        return family.firstNumber + index;
    }
    return 0;
}

std::string ComPortNames::DevicePath(int number)
{
    return DevicePathIn(number, "/dev", UserFolders::ComAliasFolder());
}

std::string ComPortNames::RealDevicePath(int number)
{
    const std::string address = NetworkAddressOf(number);
    if (!address.empty())
        return address;
    const std::string path = DevicePath(number);
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    return error ? path : real.string();
}

std::string ComPortNames::DevicePathIn(int number, const std::string& devRoot,
                                       const std::string& aliasFolder)
{
    if (number < 1)
        return std::string();
    const std::string alias = aliasFolder + "/COM" + std::to_string(number);
    if (IsSymlink(alias))
        return alias;
    for (const Family& family : kFamilies) {
        const int index = number - family.firstNumber;
        if (index >= 0 && (family.count == 0 || index < family.count))
            return devRoot + "/" + family.prefix + std::to_string(index);
    }
    return std::string();
}

std::string ComPortNames::NetworkAddressOf(int number)
{
    return NetworkAddressIn(number, UserFolders::ComAliasFolder());
}

std::string ComPortNames::NetworkAddressIn(int number, const std::string& aliasFolder)
{
    if (number < 1)
        return std::string();
    const std::string target = LinkTarget(aliasFolder + "/COM" + std::to_string(number));
    return NetworkPortAddress::IsNetworkName(target) ? target : std::string();
}

std::vector<std::string> ComPortNames::List()
{
    return ListIn("/dev", "/sys/class/tty", UserFolders::ComAliasFolder());
}

std::vector<std::string> ComPortNames::ListIn(const std::string& devRoot, const std::string& sysRoot,
                                              const std::string& aliasFolder)
{
    // COM number -> shown name; aliases go in first, so they win.
    std::map<int, std::string> ports;
    std::map<int, bool> aliased;
    for (const std::string& entry : Entries(aliasFolder)) {
        if (entry.rfind("COM", 0) != 0)
            continue;
        const int number = TrailingNumber(entry, 3);
        const std::string path = aliasFolder + "/" + entry;
        if (number < 1 || !IsSymlink(path))
            continue;
        // An alias hides the fixed device of its number even when its own
        // target is gone: that number opens the alias.
        aliased[number] = true;
        const std::string target = LinkTarget(path);
        if (NetworkPortAddress::IsNetworkName(target)) {
            ports[number] = NetworkEntry(number, target);
            continue;
        }
        const std::string shown = AliasDisplayName(path);
        if (!shown.empty())
            ports[number] = Entry(entry, shown, sysRoot);
    }
    for (const std::string& entry : Entries(devRoot)) {
        const int number = FixedNumber(entry);
        if (number < 1 || aliased.count(number) != 0 || !HasHardware(sysRoot, entry))
            continue;
        ports[number] = Entry("COM" + std::to_string(number), entry, sysRoot);
    }

    std::vector<std::string> names;
    for (const auto& [number, name] : ports)
        names.push_back(name);
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}
