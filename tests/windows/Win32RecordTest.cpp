// The Win32 side of the download log: LockFileEx between writers, whole lines
// through rotation with MoveFileEx, and the log's place under the local
// application-data folder. Run under wine.

#include "DownloadLog.h"
#include "DownloadRecord.h"
#include "LogLock.h"
#include "UserFolders.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

class Win32RecordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() /
                 ("vennix-record-" + std::to_string(::GetCurrentProcessId()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    static DownloadRecord Numbered(int writer, int number)
    {
        DownloadRecord record;
        record.Begin("record-test", "1");
        record.end = record.start;
        record.transport = "serial";
        record.target = "COM" + std::to_string(writer);
        record.fileSize = number;
        record.outcome = RecordOutcome::Finished;
        record.finalText = std::string(2000, 'x');
        return record;
    }

    std::filesystem::path folder;
};

} // namespace

TEST_F(Win32RecordTest, TheLogLivesInTheLocalApplicationDataFolder)
{
    char local[MAX_PATH] = {};
    ASSERT_EQ(::GetEnvironmentVariableA("LOCALAPPDATA", local, sizeof local) > 0, true);
    EXPECT_EQ(DownloadLog::DefaultPath(), std::string(local) + "\\Vennix\\downloads.jsonl");
}

TEST_F(Win32RecordTest, ALockedLogKeepsOtherWritersOutUntilReleased)
{
    const std::string lockPath = (folder / "log.jsonl.lock").string();
    LogLock holder;
    std::string error;
    ASSERT_TRUE(holder.Acquire(lockPath, LogLock::Mode::Exclusive, std::chrono::milliseconds(0), error)) << error;
    LogLock other;
    EXPECT_FALSE(other.Acquire(lockPath, LogLock::Mode::Exclusive, std::chrono::milliseconds(20), error));
    holder.Release();
    EXPECT_TRUE(other.Acquire(lockPath, LogLock::Mode::Exclusive, std::chrono::milliseconds(0), error)) << error;
}

TEST_F(Win32RecordTest, WritersRotatingTogetherLeaveEveryRecordWhole)
{
    constexpr int Writers = 4;
    constexpr int Each = 25;
    const int64_t recordSize = static_cast<int64_t>(Numbered(1, 1).ToJson().size()) + 1;
    const DownloadLog log((folder / "log.jsonl").string(), 4 * recordSize, Writers * Each);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int writer = 1; writer <= Writers; ++writer)
        threads.emplace_back([&, writer] {
            for (int n = 0; n < Each; ++n) {
                std::string error;
                if (!log.Append(Numbered(writer, n), &error)) {
                    ++failures;
                    ADD_FAILURE() << error;
                }
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(std::filesystem::exists(log.Path() + ".1"));

    std::vector<DownloadRecord> records;
    int skipped = -1;
    std::string error;
    ASSERT_TRUE(log.ReadAll(records, &skipped, &error)) << error;
    EXPECT_EQ(skipped, 0);
    std::set<std::pair<std::string, int64_t>> seen;
    for (const DownloadRecord& record : records)
        seen.insert({record.target, record.fileSize});
    EXPECT_EQ(records.size(), static_cast<size_t>(Writers * Each));
    EXPECT_EQ(seen.size(), static_cast<size_t>(Writers * Each));
}

TEST_F(Win32RecordTest, AFolderThatCannotBeMadeFailsWithTheReason)
{
    std::ofstream(folder / "blocker") << "not a folder";
    const DownloadLog log((folder / "blocker" / "log.jsonl").string());
    std::string error;
    EXPECT_FALSE(log.Append(Numbered(1, 1), &error));
    EXPECT_NE(error.find("blocker"), std::string::npos) << error;
}
