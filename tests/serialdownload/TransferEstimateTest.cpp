#include "TransferEstimate.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Clock = TransferEstimate::Clock;

TEST(TransferEstimate, BlankUntilTheFirstReportThenSizeRateAndTimeLeft)
{
    const Clock::time_point t0 = Clock::now();
    TransferEstimate estimate;
    estimate.Start(49152);
    EXPECT_FALSE(estimate.Begun());
    EXPECT_EQ(estimate.Text(t0 + 5s), "");

    // The first report is where the measurement starts: no rate from one point.
    estimate.Progress(2, t0);
    EXPECT_EQ(estimate.BytesSent(), 983);
    EXPECT_EQ(estimate.Text(t0), "1.0 kB of 49.2 kB");

    // 40 % more in 2 s: 9830 bytes a second, the remaining 58 % in 2.9 s.
    estimate.Progress(42, t0 + 2s);
    EXPECT_NEAR(estimate.BytesPerSecond(t0 + 2s), 9830.0, 1.0);
    EXPECT_NEAR(estimate.SecondsLeft(t0 + 2s), 2.9, 0.01);
    EXPECT_EQ(estimate.Text(t0 + 2s), "20.6 kB of 49.2 kB, 9.8 kB/s, 0:03 left");

    // A line that stalls shows a falling rate and a growing time left, not the
    // last figures frozen.
    EXPECT_LT(estimate.BytesPerSecond(t0 + 4s), 5000.0);
    EXPECT_GT(estimate.SecondsLeft(t0 + 4s), 5.0);

    estimate.Progress(100, t0 + 5s);
    EXPECT_EQ(estimate.Text(t0 + 5s), "49.2 kB of 49.2 kB, 9.6 kB/s");

    // A new download starts blank again.
    estimate.Start(500);
    EXPECT_EQ(estimate.Text(t0 + 6s), "");
    estimate.Progress(50, t0 + 6s);
    EXPECT_EQ(estimate.Text(t0 + 6s), "250 bytes of 500 bytes");
}

TEST(TransferEstimate, ABurstOfReportsGivesNoRateYet)
{
    // A device buffer that swallows the first blocks at once says nothing about
    // the line's speed.
    const Clock::time_point t0 = Clock::now();
    TransferEstimate estimate;
    estimate.Start(2000000);
    estimate.Progress(1, t0);
    estimate.Progress(3, t0 + 10ms);
    EXPECT_EQ(estimate.BytesPerSecond(t0 + 10ms), 0.0);
    EXPECT_LT(estimate.SecondsLeft(t0 + 10ms), 0.0);
    EXPECT_EQ(estimate.Text(t0 + 10ms), "0.1 MB of 2.0 MB");

    // Once the burst is older than the window, the steady 1 % a second shows.
    for (int second = 1; second <= 13; ++second)
        estimate.Progress(3 + second, t0 + std::chrono::seconds(second));
    EXPECT_GT(estimate.BytesPerSecond(t0 + 9s), 22000.0); // the burst still counts
    EXPECT_NEAR(estimate.BytesPerSecond(t0 + 13s), 20000.0, 1.0);

    // An unknown size counts nothing and divides by nothing.
    estimate.Start(0);
    estimate.Progress(50, t0);
    EXPECT_EQ(estimate.Text(t0 + 1s), "0 bytes of 0 bytes");
}

TEST(TransferEstimate, Texts)
{
    EXPECT_EQ(TransferEstimate::RateText(0), "-");
    EXPECT_EQ(TransferEstimate::RateText(512), "512 B/s");
    EXPECT_EQ(TransferEstimate::RateText(11520), "11.5 kB/s");
    EXPECT_EQ(TransferEstimate::RateText(2.5e6), "2.5 MB/s");
    EXPECT_EQ(TransferEstimate::DurationText(0.4), "0:00");
    EXPECT_EQ(TransferEstimate::DurationText(22.6), "0:23");
    EXPECT_EQ(TransferEstimate::DurationText(3725), "62:05");
    EXPECT_EQ(TransferEstimate::DurationText(-3), "0:00");
}

} // namespace
