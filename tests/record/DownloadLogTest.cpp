#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "DownloadLog.h"
#include "DownloadRecord.h"
#include "LogLock.h"
#include "TempUserFolders.h"

namespace {

DownloadRecord Numbered(int writer, int number, size_t textLength = 40)
{
    DownloadRecord record;
    record.Begin("record-test", "1");
    record.end = record.start;
    record.transport = "ethernet";
    record.target = "writer" + std::to_string(writer);
    record.address = "10.0.0." + std::to_string(writer);
    record.fileSize = number;
    record.outcome = RecordOutcome::Finished;
    record.finalText = std::string(textLength, 'x');
    return record;
}

std::vector<std::string> LinesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    std::vector<std::string> lines;
    std::string text = all.str();
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        // A last line without its line end is a torn line: keep it to be caught.
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at) +
                        (end == std::string::npos ? "<no line end>" : ""));
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return lines;
}

class DownloadLogTest : public ::testing::Test {
protected:
    std::string PathIn(const std::string& name) const { return (folders.Root() / name).string(); }
    TempUserFolders folders;
};

} // namespace

TEST_F(DownloadLogTest, DefaultLogLivesInTheUsersDataFolder)
{
    EXPECT_EQ(DownloadLog::DefaultPath(), (folders.Root() / "data" / "Vennix" / "downloads.jsonl").string());
    // The folder is made on the first record.
    DownloadLog log(DownloadLog::DefaultPath());
    std::string error;
    ASSERT_TRUE(log.Append(Numbered(1, 1), &error)) << error;
    EXPECT_EQ(LinesOf(log.Path()).size(), 1u);
}

TEST_F(DownloadLogTest, RecordsReadBackInOrderAcrossRotatedFiles)
{
    // Room for a few records a file, two old files kept.
    const int64_t recordSize = static_cast<int64_t>(Numbered(1, 1).ToJson().size()) + 1;
    DownloadLog log(PathIn("log.jsonl"), 3 * recordSize + 10, 2);
    std::string error;
    for (int n = 1; n <= 21; ++n)
        ASSERT_TRUE(log.Append(Numbered(1, n), &error)) << error;

    EXPECT_TRUE(std::filesystem::exists(log.Path() + ".1"));
    EXPECT_TRUE(std::filesystem::exists(log.Path() + ".2"));
    EXPECT_FALSE(std::filesystem::exists(log.Path() + ".3"));
    for (const std::string& file : log.Files())
        EXPECT_LE(std::filesystem::file_size(file), static_cast<uintmax_t>(3 * recordSize + 10)) << file;

    std::vector<DownloadRecord> records;
    int skipped = -1;
    ASSERT_TRUE(log.ReadAll(records, &skipped, &error)) << error;
    EXPECT_EQ(skipped, 0);
    // The newest nine survive (three files of three), oldest first.
    ASSERT_EQ(records.size(), 9u);
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(records[i].fileSize, static_cast<int64_t>(13 + i));
}

TEST_F(DownloadLogTest, AFolderThatCannotBeMadeOrWrittenFailsWithTheReason)
{
    // A file where the folder should be: refused even to root, who may write anywhere else.
    std::ofstream(PathIn("blocker")) << "not a folder";
    DownloadLog underFile(PathIn("blocker") + "/Vennix/downloads.jsonl");
    std::string error;
    EXPECT_FALSE(underFile.Append(Numbered(1, 1), &error));
    EXPECT_NE(error.find("blocker"), std::string::npos) << error;

    // A folder where the log should be.
    std::filesystem::create_directories(PathIn("taken.jsonl"));
    DownloadLog onFolder(PathIn("taken.jsonl"));
    error.clear();
    EXPECT_FALSE(onFolder.Append(Numbered(1, 1), &error));
    EXPECT_NE(error.find("taken.jsonl"), std::string::npos) << error;
}

TEST_F(DownloadLogTest, TornAndForeignLinesAreSkippedAndTheNextRecordStartsOnItsOwnLine)
{
    DownloadLog log(PathIn("log.jsonl"));
    {
        std::ofstream out(log.Path(), std::ios::binary);
        out << "# notes by hand\n" << Numbered(1, 1).ToJson() << "\n{\"start\":\"2026-12-09T1";
    }
    std::string error;
    ASSERT_TRUE(log.Append(Numbered(1, 2), &error)) << error;
    std::vector<DownloadRecord> records;
    int skipped = 0;
    ASSERT_TRUE(log.ReadAll(records, &skipped, &error)) << error;
    EXPECT_EQ(skipped, 2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].fileSize, 2);
}

TEST_F(DownloadLogTest, ConcurrentWritersRotatingTogetherLoseNoRecordAndLeaveWholeLines)
{
    // Long records and a small limit: the writers rotate often, and every rotation
    // races the others' appends unless the lock keeps them apart.
    constexpr int Writers = 6;
    constexpr int Each = 40;
    const size_t textLength = 3000;
    const int64_t recordSize = static_cast<int64_t>(Numbered(1, 1, textLength).ToJson().size()) + 1;
    const int keep = Writers * Each; // enough old files that nothing is dropped
    DownloadLog log(PathIn("shared.jsonl"), 5 * recordSize, keep);

    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int writer = 1; writer <= Writers; ++writer) {
        threads.emplace_back([&, writer] {
            for (int n = 0; n < Each; ++n) {
                std::string error;
                if (!log.Append(Numbered(writer, n, textLength), &error))
                    ++failures;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);

    std::set<std::pair<std::string, int64_t>> seen;
    for (const std::string& file : log.Files()) {
        if (!std::filesystem::exists(file))
            continue;
        for (const std::string& line : LinesOf(file)) {
            DownloadRecord record;
            ASSERT_TRUE(DownloadRecord::FromJson(line, record)) << file << ": " << line.substr(0, 120);
            EXPECT_TRUE(seen.insert({record.target, record.fileSize}).second) << "twice: " << line.substr(0, 120);
        }
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(Writers * Each));
}

TEST_F(DownloadLogTest, AWriterGivesUpOnALockThatIsNeverReleased)
{
    DownloadLog log(PathIn("held.jsonl"));
    LogLock holder;
    std::string error;
    ASSERT_TRUE(holder.Acquire(log.LockPath(), LogLock::Mode::Exclusive, std::chrono::milliseconds(0), error)) << error;
    LogLock other;
    EXPECT_FALSE(other.Acquire(log.LockPath(), LogLock::Mode::Shared, std::chrono::milliseconds(20), error));
    EXPECT_NE(error.find("locked"), std::string::npos) << error;
    holder.Release();
    EXPECT_TRUE(other.Acquire(log.LockPath(), LogLock::Mode::Shared, std::chrono::milliseconds(0), error)) << error;
}

TEST_F(DownloadLogTest, ReadingTheNewestLeavesOlderLinesUnread)
{
    const int64_t recordSize = static_cast<int64_t>(Numbered(1, 1).ToJson().size()) + 1;
    DownloadLog log(PathIn("log.jsonl"), 2 * recordSize + 10, 3);
    std::string error;
    for (int n = 1; n <= 8; ++n)
        ASSERT_TRUE(log.Append(Numbered(1, n), &error)) << error;
    // A damaged line in the oldest file shows whether that file was read.
    std::ofstream(log.Path() + ".3", std::ios::app) << "damaged\n";

    std::vector<DownloadRecord> records;
    int skipped = -1;
    ASSERT_TRUE(log.ReadAll(records, &skipped, &error, 3)) << error;
    EXPECT_EQ(skipped, 0);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records.front().fileSize, 6);
    EXPECT_EQ(records.back().fileSize, 8);

    ASSERT_TRUE(log.ReadAll(records, &skipped, &error)) << error;
    EXPECT_EQ(skipped, 1);
    EXPECT_EQ(records.size(), 8u);
}
