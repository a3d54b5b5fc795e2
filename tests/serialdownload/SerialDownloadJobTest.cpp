#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "RecordingReporter.h"
#include "SerialDownloadJob.h"

using namespace std::chrono_literals;

namespace {
// Generous: the machine may be loaded; these never wait this long when all is well.
constexpr auto FinishDeadline = 10s;
} // namespace

TEST(SerialDownloadJobTest, WithoutAPortEndsAtOnceAndClearsRunningBeforeFinish)
{
    RecordingReporter reporter;
    auto job = std::make_unique<SerialDownloadJob>("/nonexistent.bin", Firmware, nullptr, &reporter);
    std::atomic<int> runningAtFinish{-1};
    reporter.OnFinish([&] { runningAtFinish = job->IsRunning() ? 1 : 0; });

    EXPECT_FALSE(job->IsRunning());
    ASSERT_TRUE(job->Start());
    ASSERT_TRUE(reporter.WaitForFinish(FinishDeadline));
    EXPECT_EQ(runningAtFinish.load(), 0);
    EXPECT_FALSE(job->IsRunning());
    EXPECT_EQ(reporter.FinishCount(), 1);
    ASSERT_EQ(reporter.Statuses().size(), 1u);
    EXPECT_NE(reporter.FinalStatus().find("serial port"), std::string::npos);
}

TEST(SerialDownloadJobTest, StartRefusedWhileRunningAndRecordMayDieFirst)
{
    RecordingReporter reporter;
    reporter.HoldStatus(true);
    auto job = std::make_unique<SerialDownloadJob>("/nonexistent.bin", Application, nullptr, &reporter);
    ASSERT_TRUE(job->Start());
    EXPECT_TRUE(job->IsRunning());
    EXPECT_FALSE(job->Start());

    // The worker sits in ShowStatus; the window replaces its job record meanwhile.
    ASSERT_TRUE(reporter.WaitForStatus("", FinishDeadline));
    job.reset();
    reporter.HoldStatus(false);
    ASSERT_TRUE(reporter.WaitForFinish(FinishDeadline));
    EXPECT_EQ(reporter.FinishCount(), 1);
}
