#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "LogLock.h"
#include "RecordWriter.h"
#include "TempUserFolders.h"

namespace {

DownloadRecord Numbered(int number)
{
    DownloadRecord record;
    record.Begin("writer-test", "1");
    record.end = record.start;
    record.target = "COM1";
    record.fileSize = number;
    record.outcome = RecordOutcome::Finished;
    return record;
}

std::vector<DownloadRecord> ReadBack(const DownloadLog& log)
{
    std::vector<DownloadRecord> records;
    int skipped = 0;
    std::string error;
    EXPECT_TRUE(log.ReadAll(records, &skipped, &error)) << error;
    EXPECT_EQ(skipped, 0);
    return records;
}

// The log's text, read past the lock that the test itself holds.
std::string ReadBackUnlocked(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Failures {
public:
    RecordWriter::FailureHandler Handler()
    {
        return [this](const std::string& reason) {
            std::lock_guard lock(mutex);
            reasons.push_back(reason);
        };
    }
    std::vector<std::string> Reasons()
    {
        std::lock_guard lock(mutex);
        return reasons;
    }

private:
    std::mutex mutex;
    std::vector<std::string> reasons;
};

} // namespace

TEST(RecordWriterTest, PostReturnsWhileAnotherProgramHoldsTheLogAndTheRecordFollows)
{
    TempUserFolders folders;
    const DownloadLog log((folders.Root() / "log.jsonl").string());
    LogLock other;
    std::string error;
    ASSERT_TRUE(other.Acquire(log.LockPath(), LogLock::Mode::Exclusive, std::chrono::milliseconds(0), error));

    Failures failures;
    RecordWriter writer(log, failures.Handler());
    writer.Post(Numbered(1));
    // Back at once, though nothing can be written yet.
    EXPECT_TRUE(ReadBackUnlocked(log.Path()).empty());
    other.Release();
    writer.WaitUntilIdle();
    EXPECT_TRUE(failures.Reasons().empty());
    ASSERT_EQ(ReadBack(log).size(), 1u);
}

TEST(RecordWriterTest, EveryRecordPostedIsWrittenBeforeTheWriterEnds)
{
    TempUserFolders folders;
    const DownloadLog log((folders.Root() / "log.jsonl").string());
    {
        RecordWriter writer(log, nullptr);
        for (int n = 1; n <= 5; ++n)
            writer.Post(Numbered(n));
    }
    const std::vector<DownloadRecord> records = ReadBack(log);
    ASSERT_EQ(records.size(), 5u);
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(records[static_cast<size_t>(n - 1)].fileSize, n);
}

TEST(RecordWriterTest, ALogThatCannotBeWrittenIsToldOnceForEachRecord)
{
    TempUserFolders folders;
    std::ofstream(folders.Root() / "blocker") << "a file";
    Failures failures;
    RecordWriter writer(DownloadLog((folders.Root() / "blocker" / "log.jsonl").string()), failures.Handler());
    writer.Post(Numbered(1));
    writer.Post(Numbered(2));
    writer.WaitUntilIdle();
    const std::vector<std::string> reasons = failures.Reasons();
    ASSERT_EQ(reasons.size(), 2u);
    EXPECT_NE(reasons[0].find("blocker"), std::string::npos) << reasons[0];
}
