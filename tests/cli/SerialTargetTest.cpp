#include "SerialTarget.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Names that carry their number need no device to be present.
TEST(SerialTargetTest, EveryWayOfWritingAComNameGivesItsNumber)
{
    const struct {
        std::string name;
        int number;
    } cases[] = {
        {"COM12", 12},
        {"com7", 7},
        {"COM33 (ttyUSB0)", 33},
        {"\\\\.\\COM12", 12},
        {"\\\\.\\com150", 150},
    };
    for (const auto& c : cases) {
        int number = 0;
        std::string error;
        EXPECT_TRUE(SerialTarget::ResolveIn(c.name, "/nonexistent", "/nonexistent", number, &error)) << c.name << error;
        EXPECT_EQ(number, c.number) << c.name;
    }
}

TEST(SerialTargetTest, ANameThatIsNeitherComNorPathIsRefusedWithAReason)
{
    for (const std::string name : {"ttyUSB0", "\\\\.\\", "\\\\.\\LPT1", ""}) {
        int number = -1;
        std::string error;
        EXPECT_FALSE(SerialTarget::ResolveIn(name, "/nonexistent", "/nonexistent", number, &error)) << name;
        EXPECT_NE(error.find("is no serial port"), std::string::npos) << name << ": " << error;
#ifdef _WIN32
        EXPECT_EQ(error.find("/dev/"), std::string::npos) << "a Linux hint on Windows: " << error;
#endif
    }
}

} // namespace

// Aliases are symbolic links on Linux; on Windows the registry names network
// ports (tests/windows).
#ifndef _WIN32
#include <filesystem>

#include "TempUserFolders.h"
#include "UserFolders.h"

namespace {

// A device server's port goes by the COM name that stands for it, else by its
// address; a malformed address is refused before anything is opened.
TEST(SerialTargetTest, ANetworkAddressGoesByItsComNameWhenItHasOne)
{
    TempUserFolders folders;
    std::filesystem::create_directories(UserFolders::ComAliasFolder());
    std::filesystem::create_symlink("rfc2217://10.0.0.5:4001",
                                    std::filesystem::path(UserFolders::ComAliasFolder()) / "COM70");
    std::string name;
    std::string error;
    EXPECT_TRUE(SerialTarget::ResolveName("rfc2217://10.0.0.5:4001", name, &error)) << error;
    EXPECT_EQ(name, "COM70");
    EXPECT_TRUE(SerialTarget::ResolveName("RFC2217://10.0.0.6:4001", name, &error)) << error;
    EXPECT_EQ(name, "rfc2217://10.0.0.6:4001");
    EXPECT_TRUE(SerialTarget::ResolveName("COM70", name, &error)) << error;
    EXPECT_EQ(name, "COM70");

    EXPECT_FALSE(SerialTarget::ResolveName("rfc2217://10.0.0.5", name, &error));
    EXPECT_NE(error.find("the TCP port is missing"), std::string::npos) << error;
}

} // namespace
#endif
