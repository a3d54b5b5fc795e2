#include "DownloadFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

std::string DemoPath(const std::string& name)
{
    return std::string(VENNIX_DEMO_DIR) + "/" + name;
}

std::string FirstLine(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);
    return line;
}

// Big enough to watch a download run for a while at 115200 baud, small enough
// to fit one flash sector.
void ExpectDemoSize(const DownloadFileInfo& info)
{
    EXPECT_GE(info.size, 16 * 1024);
    EXPECT_LE(info.size, 64 * 1024);
}

} // namespace

TEST(DemoFiles, FirmwareImageIsClassifiedAsFirmware)
{
    const std::string path = DemoPath("demo-firmware.bin");
    const DownloadFileInfo info = ClassifyDownloadFile(path);
    ASSERT_EQ(info.outcome, DownloadFileInfo::Recognised) << path;
    EXPECT_EQ(info.kind, Firmware);
    ExpectDemoSize(info);
    EXPECT_EQ(FirstLine(path).rfind("Vennix demo firmware image", 0), 0u);
}

TEST(DemoFiles, ApplicationPackageIsClassifiedAsApplication)
{
    const std::string path = DemoPath("demo-application.bff");
    const DownloadFileInfo info = ClassifyDownloadFile(path);
    ASSERT_EQ(info.outcome, DownloadFileInfo::Recognised) << path;
    EXPECT_EQ(info.kind, Application);
    ExpectDemoSize(info);
    EXPECT_EQ(FirstLine(path).rfind("Vennix demo application package", 0), 0u);
}
