#include "RetransmissionTimer.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Timer = RetransmissionTimer;

TEST(RetransmissionTimerTest, FollowsTheRoundTripWithinItsBounds)
{
    Timer timer;
    EXPECT_EQ(timer.Timeout(), Timer::Initial);

    // A steady 20 ms: the wait settles just above it, by the least margin.
    for (int i = 0; i < 200; ++i)
        timer.Sample(20ms);
    EXPECT_GE(timer.Timeout(), 20ms + Timer::Granularity);
    EXPECT_LT(timer.Timeout(), 22ms);

    // A jumpy unit gets more room than a steady one of the same mean.
    Timer jumpy;
    for (int i = 0; i < 200; ++i)
        jumpy.Sample(i % 2 ? 10ms : 30ms);
    EXPECT_GT(jumpy.Timeout(), 40ms);

    Timer fast, slow;
    for (int i = 0; i < 50; ++i) {
        fast.Sample(30us);
        slow.Sample(5s);
    }
    EXPECT_EQ(fast.Timeout(), Timer::Minimum);
    EXPECT_EQ(slow.Timeout(), Timer::Maximum);
}

TEST(RetransmissionTimerTest, DoublesUntilAnAnswerWithoutACopy)
{
    Timer timer;
    for (int i = 0; i < 50; ++i)
        timer.Sample(30us);
    auto expected = Timer::Minimum;
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(timer.Timeout(), std::min<Timer::Duration>(expected, Timer::Maximum));
        timer.Backoff();
        expected *= 2;
    }
    EXPECT_EQ(timer.Timeout(), Timer::Maximum);
    // Only a measured round trip ends the doubling.
    timer.Sample(30us);
    EXPECT_EQ(timer.Timeout(), Timer::Minimum);
}

} // namespace
