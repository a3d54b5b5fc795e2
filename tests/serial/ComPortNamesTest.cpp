#include "ComPortNames.h"

#include "TempUserFolders.h"
#include "UserFolders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

TEST(ComPortNames, ParseReadsOnlyComAndItsDigits)
{
    EXPECT_EQ(ComPortNames::ParseNumber("COM3"), 3);
    EXPECT_EQ(ComPortNames::ParseNumber("COM33 (ttyUSB0)"), 33);
    EXPECT_EQ(ComPortNames::ParseNumber("com12"), 12);
    EXPECT_EQ(ComPortNames::ParseNumber("COM"), 0);
    EXPECT_EQ(ComPortNames::ParseNumber("COMx1"), 0);
    EXPECT_EQ(ComPortNames::ParseNumber("XCOM3"), 0);
    EXPECT_EQ(ComPortNames::ParseNumber(""), 0);
    EXPECT_EQ(ComPortNames::ParseNumber("COM99999999999"), 0);
}

TEST(ComPortNames, FixedNumberingOfDeviceFamilies)
{
    EXPECT_EQ(ComPortNames::FixedNumber("ttyS0"), 1);
    EXPECT_EQ(ComPortNames::FixedNumber("ttyS31"), 32);
    EXPECT_EQ(ComPortNames::FixedNumber("ttyS32"), 0); // would collide with ttyUSB0
    EXPECT_EQ(ComPortNames::FixedNumber("ttyUSB0"), 33);
    EXPECT_EQ(ComPortNames::FixedNumber("ttyACM0"), 65);
    EXPECT_EQ(ComPortNames::FixedNumber("ttyACM7"), 72);
    EXPECT_EQ(ComPortNames::FixedNumber("ttyS"), 0);
    EXPECT_EQ(ComPortNames::FixedNumber("ttySx"), 0);
    EXPECT_EQ(ComPortNames::FixedNumber("tty0"), 0);

    const std::string none = "/nonexistent";
    EXPECT_EQ(ComPortNames::DevicePathIn(1, "/dev", none), "/dev/ttyS0");
    EXPECT_EQ(ComPortNames::DevicePathIn(33, "/dev", none), "/dev/ttyUSB0");
    EXPECT_EQ(ComPortNames::DevicePathIn(66, "/dev", none), "/dev/ttyACM1");
    EXPECT_EQ(ComPortNames::DevicePathIn(0, "/dev", none), "");
    EXPECT_EQ(ComPortNames::DevicePathIn(-4, "/dev", none), "");
}

class ComPortListing : public ::testing::Test {
protected:
    void SetUp() override
    {
        dev = (folders.Root() / "dev").string();
        sys = (folders.Root() / "sys").string();
        aliases = UserFolders::ComAliasFolder();
        fs::create_directories(dev);
        fs::create_directories(sys);
        fs::create_directories(aliases);
    }

    // A device node stand-in, with or without hardware behind it.
    void AddDevice(const std::string& name, const char* uartType = nullptr, bool hasDevice = true)
    {
        std::ofstream(dev + "/" + name) << "";
        fs::create_directories(sys + "/" + name);
        if (hasDevice)
            fs::create_directories(sys + "/" + name + "/device");
        if (uartType != nullptr)
            std::ofstream(sys + "/" + name + "/type") << uartType << "\n";
    }

    // A USB adapter's tty whose device link ends at `link` below the USB
    // device `usb`, which says `text` of itself in the record `record`.
    void AddUsbDevice(const std::string& name, const std::string& usb, const std::string& link,
                      const std::string& record, const std::string& text)
    {
        const std::string usbDevice = sys + "/devices/usb1/" + usb;
        fs::create_directories(usbDevice + "/" + link);
        std::ofstream(usbDevice + "/idVendor") << "0403\n";
        std::ofstream(usbDevice + "/" + record) << text << "\n";
        AddDevice(name, nullptr, false);
        fs::create_directory_symlink(usbDevice + "/" + link, sys + "/" + name + "/device");
    }

    TempUserFolders folders;
    std::string dev;
    std::string sys;
    std::string aliases;
};

TEST_F(ComPortListing, ListsPresentDevicesAndAliasesInCaseInsensitiveOrder)
{
    AddDevice("ttyS0", "4");
    AddDevice("ttyS1", "0");          // a UART slot with nothing behind it
    AddDevice("ttyS2", nullptr, false); // no device at all
    AddDevice("ttyS9", "4");
    AddDevice("ttyUSB0");             // hidden by the COM33 alias below
    AddDevice("ttyACM2");
    AddDevice("console");
    const std::string target = dev + "/pts-stand-in";
    std::ofstream(target) << "";
    fs::create_symlink(target, aliases + "/COM33");
    fs::create_symlink(target, aliases + "/com2"); // not an alias name
    fs::create_symlink(dev + "/gone", aliases + "/COM50");

    const std::vector<std::string> expected = {
        "COM1 (ttyS0)",
        "COM10 (ttyS9)",
        "COM33 (pts-stand-in)",
        "COM67 (ttyACM2)",
    };
    EXPECT_EQ(ComPortNames::ListIn(dev, sys, aliases), expected);

    // An alias wins over the fixed device, and a dangling one still owns its number.
    EXPECT_EQ(ComPortNames::DevicePathIn(33, dev, aliases), aliases + "/COM33");
    EXPECT_EQ(ComPortNames::DevicePathIn(50, dev, aliases), aliases + "/COM50");
    EXPECT_EQ(ComPortNames::DevicePathIn(34, dev, aliases), dev + "/ttyUSB1");
}

TEST_F(ComPortListing, AliasToADeviceShowsItsPathBelowDev)
{
    fs::create_symlink("/dev/null", aliases + "/COM7");
    EXPECT_EQ(ComPortNames::ListIn(dev, sys, aliases), (std::vector<std::string> { "COM7 (null)" }));
    EXPECT_EQ(ComPortNames::DevicePath(7), aliases + "/COM7");
}

TEST_F(ComPortListing, UsbAdaptersAreDescribedAfterTheirDevice)
{
    // A usb-serial port below its interface, as the kernel lays it out, whose
    // product string carries bytes that have no place in a list entry.
    AddUsbDevice("ttyUSB0", "1-2", "1-2:1.0/ttyUSB0", "product", "FT232R\x01 (USB),  UART");
    // One that names only its maker, reached through an alias.
    AddUsbDevice("ttyACM0", "1-3", "1-3:1.0", "manufacturer", "Arduino (www.arduino.cc)");
    fs::create_symlink(dev + "/ttyACM0", aliases + "/COM3");
    AddDevice("ttyS0", "4");

    const std::vector<std::string> expected = {
        "COM1 (ttyS0)",
        "COM3 (ttyACM0, Arduino www.arduino.cc)",
        "COM33 (ttyUSB0, FT232R USB UART)",
        "COM65 (ttyACM0, Arduino www.arduino.cc)",
    };
    const std::vector<std::string> listed = ComPortNames::ListIn(dev, sys, aliases);
    EXPECT_EQ(listed, expected);
    // The number is read as before, whatever follows it.
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(ComPortNames::ParseNumber(listed[1]), 3);
    EXPECT_EQ(ComPortNames::ParseNumber(listed[2]), 33);
}

} // namespace

namespace {

TEST(ComPortNames, AnAliasToAnAddressIsANetworkPortListedWithItsAddress)
{
    TempUserFolders folders;
    const fs::path aliases = folders.Root() / "ports";
    const fs::path dev = folders.Root() / "dev";
    fs::create_directories(aliases);
    fs::create_directories(dev);
    std::ofstream(dev / "ttyUSB0").put('x');
    fs::create_symlink("rfc2217://10.0.0.5:4001", aliases / "COM70");
    // It wins over the fixed device of its number, as every alias does.
    fs::create_symlink("rfc2217://10.0.0.6:4002", aliases / "COM33");

    const std::vector<std::string> listed =
        ComPortNames::ListIn(dev.string(), (folders.Root() / "sys").string(), aliases.string());
    EXPECT_EQ(listed, (std::vector<std::string>{"COM33 (rfc2217://10.0.0.6:4002)", "COM70 (rfc2217://10.0.0.5:4001)"}));

    EXPECT_EQ(ComPortNames::NetworkAddressIn(70, aliases.string()), "rfc2217://10.0.0.5:4001");
    EXPECT_EQ(ComPortNames::NetworkAddressIn(71, aliases.string()), "");
    EXPECT_EQ(ComPortNames::ParseNumber(listed[1]), 70);
}

TEST(ComPortNames, EveryNameOfANetworkPortLeadsToItsAddress)
{
    TempUserFolders folders; // the alias folder follows XDG_CONFIG_HOME
    const fs::path aliases = UserFolders::ComAliasFolder();
    fs::create_directories(aliases);
    fs::create_symlink("rfc2217://10.0.0.5:4001", aliases / "COM70");
    fs::create_symlink("/dev/null", aliases / "COM71");

    for (const char* name : {"COM70", "com70", "\\\\.\\COM70", "COM70 (rfc2217://10.0.0.5:4001)"})
        EXPECT_EQ(ComPortNames::NetworkAddress(name), "rfc2217://10.0.0.5:4001") << name;
    EXPECT_EQ(ComPortNames::NetworkAddress("rfc2217://host:1"), "rfc2217://host:1");
    EXPECT_EQ(ComPortNames::NetworkAddress("COM71"), "");
    // A record of a download names the address, which the link may not tomorrow.
    EXPECT_EQ(ComPortNames::RealDevicePath(70), "rfc2217://10.0.0.5:4001");
    EXPECT_EQ(ComPortNames::NetworkAddress("COM72"), "");
    EXPECT_EQ(ComPortNames::NetworkAddress("/dev/ttyUSB0"), "");
}

} // namespace
