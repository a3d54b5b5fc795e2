#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "PortListing.h"
#include "TempUserFolders.h"

namespace {

namespace fs = std::filesystem;

void WriteRecord(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
}

} // namespace

// A made-up /sys/class/tty as the kernel lays it out: a usb-serial port below
// its interface (ttyUSB), a CDC interface itself (ttyACM), and a UART.
TEST(PortListingTest, UsbAdaptersAreIdentifiedFromTheirDeviceRecords)
{
    TempUserFolders folders;
    const fs::path sys = folders.Root() / "sys";
    const fs::path usbDevice = sys / "devices/pci0000:00/usb1/1-2";
    WriteRecord(usbDevice / "idVendor", "0403");
    WriteRecord(usbDevice / "idProduct", "6001");
    WriteRecord(usbDevice / "serial", "A10KX3QZ");
    WriteRecord(usbDevice / "manufacturer", "FTDI");
    WriteRecord(usbDevice / "product", "FT232R USB UART");
    fs::create_directories(usbDevice / "1-2:1.0/ttyUSB0");
    const fs::path acmDevice = sys / "devices/pci0000:00/usb1/1-3";
    WriteRecord(acmDevice / "idVendor", "2341");
    WriteRecord(acmDevice / "idProduct", "0043");
    fs::create_directories(acmDevice / "1-3:1.0");
    fs::create_directories(sys / "devices/platform/serial8250/tty/ttyS0");

    const fs::path tty = sys / "class/tty";
    fs::create_directories(tty / "ttyUSB0");
    fs::create_directories(tty / "ttyACM0");
    fs::create_directories(tty / "ttyS0");
    fs::create_directory_symlink(usbDevice / "1-2:1.0/ttyUSB0", tty / "ttyUSB0/device");
    fs::create_directory_symlink(acmDevice / "1-3:1.0", tty / "ttyACM0/device");
    fs::create_directory_symlink(sys / "devices/platform/serial8250", tty / "ttyS0/device");

    const auto ports = PortListing::Describe({"COM1 (ttyS0)", "COM33 (ttyUSB0, FT232R USB UART)", "COM65 (ttyACM0)", "COM40 (pts/3)"},
                                             "/dev", tty.string());
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0].comName, "COM1");
    EXPECT_EQ(ports[0].device, "/dev/ttyS0");
    EXPECT_TRUE(ports[0].vendorId.empty());

    EXPECT_EQ(ports[1].comName, "COM33");
    EXPECT_EQ(ports[1].device, "/dev/ttyUSB0"); // the window's description is no part of it
    EXPECT_EQ(ports[1].vendorId, "0403");
    EXPECT_EQ(ports[1].productId, "6001");
    EXPECT_EQ(ports[1].serial, "A10KX3QZ");
    EXPECT_EQ(ports[1].product, "FT232R USB UART");

    EXPECT_EQ(ports[2].vendorId, "2341");
    EXPECT_EQ(ports[2].productId, "0043");
    EXPECT_TRUE(ports[2].serial.empty());

    // A pseudo-terminal behind an alias has no kernel device record.
    EXPECT_EQ(ports[3].device, "/dev/pts/3");
    EXPECT_TRUE(ports[3].vendorId.empty());
}

TEST(PortListingTest, ANetworkPortIsDescribedByItsAddress)
{
    const PortListing::Port port =
        PortListing::DescribeOne("COM70 (rfc2217://10.0.0.5:4001)", "/nonexistent", "/nonexistent");
    EXPECT_EQ(port.comName, "COM70");
    EXPECT_EQ(port.device, "rfc2217://10.0.0.5:4001");
    EXPECT_TRUE(port.vendorId.empty());
}
