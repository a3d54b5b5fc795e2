#include "DownloadFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

std::string DemoPath(const std::string& name)
{
    // Appended, not summed: GCC 12 warns falsely on the sum when optimising.
    std::string path = VENNIX_DEMO_DIR;
    path += '/';
    path += name;
    return path;
}

std::string FirstLine(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);
    return line;
}

// Each demo file is recognised as its kind, big enough to watch a download run
// for a few seconds at 115200 baud, small enough not to wait long, and plainly
// a demo file when someone looks inside.
void ExpectDemoFile(const std::string& name, DownloadFileKind kind, const std::string& title)
{
    const std::string path = DemoPath(name);
    const DownloadFileInfo info = ClassifyDownloadFile(path);
    ASSERT_EQ(info.outcome, DownloadFileInfo::Recognised) << path;
    EXPECT_EQ(info.kind, kind);
    EXPECT_GE(info.size, 16 * 1024);
    EXPECT_LE(info.size, 128 * 1024);
    EXPECT_EQ(FirstLine(path).rfind(title, 0), 0u) << FirstLine(path);
}

} // namespace

TEST(DemoFiles, FirmwareImageIsClassifiedAsFirmware)
{
    ExpectDemoFile("demo-firmware.bin", Firmware, "Vennix demo firmware image");
}

TEST(DemoFiles, ApplicationPackageIsClassifiedAsApplication)
{
    ExpectDemoFile("demo-application.bff", Application, "Vennix demo application package");
}
