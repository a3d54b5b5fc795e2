#include "DownloadFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class DownloadFileTest : public ::testing::Test {
protected:
    fs::path folder = fs::temp_directory_path() / ("vennix-dlfile-" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(folder); }
    void TearDown() override { fs::remove_all(folder); }

    std::string Make(const std::string& name, size_t size)
    {
        fs::path path = folder / name;
        std::ofstream(path, std::ios::binary) << std::string(size, 'x');
        return path.string();
    }
};

TEST(FlashRequiredKB, WholeSectorsOf64KiB)
{
    EXPECT_EQ(FlashRequiredKB(0), 64);
    EXPECT_EQ(FlashRequiredKB(1), 64);
    EXPECT_EQ(FlashRequiredKB(65536), 64);
    EXPECT_EQ(FlashRequiredKB(65537), 128);
    EXPECT_EQ(FlashRequiredKB(131072), 128);
    EXPECT_EQ(FlashRequiredKB(1000000), 1024);
    EXPECT_EQ(FlashRequiredKB(MaxDownloadFileSize), 2097152);
}

TEST_F(DownloadFileTest, ExtensionsInAnyCase)
{
    auto bin = ClassifyDownloadFile(Make("image.bin", 70000));
    EXPECT_EQ(bin.outcome, DownloadFileInfo::Recognised);
    EXPECT_EQ(bin.kind, Firmware);
    EXPECT_EQ(bin.sizeText, "Firmware download size: 70000\r\nFlash required: 128 kBytes");
    EXPECT_EQ(bin.buttonText, "&Download Firmware");

    auto bff = ClassifyDownloadFile(Make("App.Bff", 0));
    EXPECT_EQ(bff.outcome, DownloadFileInfo::Recognised);
    EXPECT_EQ(bff.kind, Application);
    EXPECT_EQ(bff.sizeText, "App download size: 0\r\nFlash required: 64 kBytes");
    EXPECT_EQ(bff.buttonText, "&Download Application or\n Upgrade Firmware");

    EXPECT_EQ(ClassifyDownloadFile(Make("UP.BIN", 1)).kind, Firmware);
}

TEST_F(DownloadFileTest, NearMissesAreNotRecognised)
{
    EXPECT_EQ(ClassifyDownloadFile(Make("a.bff ", 3)).outcome, DownloadFileInfo::Unrecognised);
    EXPECT_EQ(ClassifyDownloadFile(Make("abff", 3)).outcome, DownloadFileInfo::Unrecognised);
    EXPECT_EQ(ClassifyDownloadFile(Make("notes.txt", 3)).outcome, DownloadFileInfo::Unrecognised);
    auto info = ClassifyDownloadFile(Make("x.txt", 3));
    EXPECT_TRUE(info.sizeText.empty());
}

TEST_F(DownloadFileTest, APathOfJustTheExtensionIsRecognised)
{
    Make(".bff", 10);
    fs::path previous = fs::current_path();
    fs::current_path(folder);
    auto info = ClassifyDownloadFile(".bff");
    fs::current_path(previous);
    EXPECT_EQ(info.outcome, DownloadFileInfo::Recognised);
    EXPECT_EQ(info.kind, Application);
}

TEST_F(DownloadFileTest, MissingFilesAndFoldersAreFailedStatusQueries)
{
    EXPECT_EQ(ClassifyDownloadFile((folder / "gone.bin").string()).outcome, DownloadFileInfo::NoSuchFile);
    EXPECT_EQ(ClassifyDownloadFile("").outcome, DownloadFileInfo::NoSuchFile);
    fs::create_directories(folder / "images.bin");
    auto info = ClassifyDownloadFile((folder / "images.bin").string());
    EXPECT_EQ(info.outcome, DownloadFileInfo::NoSuchFile);
    EXPECT_TRUE(info.sizeText.empty());
}

TEST_F(DownloadFileTest, FilesOf2GiBOrMoreAreRefusedWithoutWrappedSizes)
{
    std::string path = (folder / "huge.bin").string();
    {
        std::ofstream(path, std::ios::binary).put('x');
    }
    fs::resize_file(path, 0x80000000ULL); // sparse: no disk space used
    auto info = ClassifyDownloadFile(path);
    EXPECT_EQ(info.outcome, DownloadFileInfo::TooLarge);
    EXPECT_TRUE(info.sizeText.empty());
    EXPECT_NE(TooLargeMessage(path, info.size).find("2 GiB"), std::string::npos);
    EXPECT_NE(TooLargeMessage(path, info.size).find("(2147483648 bytes)"), std::string::npos)
        << "the real size, never a wrapped one";

    fs::resize_file(path, 0x7FFFFFFFULL);
    EXPECT_EQ(ClassifyDownloadFile(path).outcome, DownloadFileInfo::Recognised);
}

} // namespace
