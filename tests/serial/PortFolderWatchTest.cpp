#include "PortFolderWatch.h"

#include "TempUserFolders.h"
#include "UserFolders.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// Generous: only a broken watch takes this long to say something.
constexpr int EventWaitMs = 5000;

bool WaitReadable(const PortFolderWatch& watch)
{
    pollfd entry{watch.Descriptor(), POLLIN, 0};
    return ::poll(&entry, 1, EventWaitMs) == 1;
}

class PortFolderWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dev = folders.Root() / "dev";
        aliases = folders.Root() / "ports";
        fs::create_directories(dev);
        fs::create_directories(aliases);
    }

    TempUserFolders folders;
    fs::path dev;
    fs::path aliases;
};

TEST_F(PortFolderWatchTest, SeesDevicesAndAliasesComeAndGoButNothingElse)
{
    PortFolderWatch watch({dev.string(), aliases.string()});
    ASSERT_GE(watch.Descriptor(), 0);
    EXPECT_FALSE(watch.TakeChanges()); // nothing has happened yet, and it does not wait

    std::ofstream(dev / "ttyUSB3") << "";
    ASSERT_TRUE(WaitReadable(watch));
    EXPECT_TRUE(watch.TakeChanges());
    EXPECT_FALSE(watch.TakeChanges()); // each change is told once

    std::ofstream(dev / "loop7") << "";
    ASSERT_TRUE(WaitReadable(watch));
    EXPECT_FALSE(watch.TakeChanges());

    fs::create_symlink("/dev/null", aliases / "COM40");
    ASSERT_TRUE(WaitReadable(watch));
    EXPECT_TRUE(watch.TakeChanges());

    fs::remove(aliases / "COM40");
    fs::remove(dev / "ttyUSB3");
    ASSERT_TRUE(WaitReadable(watch));
    EXPECT_TRUE(watch.TakeChanges());
}

TEST_F(PortFolderWatchTest, AMissingAliasFolderIsMadeSoLaterAliasesAreSeen)
{
    ASSERT_FALSE(fs::exists(UserFolders::ComAliasFolder()));
    PortFolderWatch watch;
    ASSERT_GE(watch.Descriptor(), 0);
    ASSERT_TRUE(fs::is_directory(UserFolders::ComAliasFolder()));

    fs::create_symlink("/dev/null", fs::path(UserFolders::ComAliasFolder()) / "COM41");
    ASSERT_TRUE(WaitReadable(watch));
    EXPECT_TRUE(watch.TakeChanges());
}

TEST_F(PortFolderWatchTest, NothingToWatchGivesNoDescriptor)
{
    PortFolderWatch watch({(folders.Root() / "absent").string()});
    EXPECT_EQ(watch.Descriptor(), -1);
    EXPECT_FALSE(watch.TakeChanges());
}

} // namespace
