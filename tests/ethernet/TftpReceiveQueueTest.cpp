#include "TftpReceiveQueue.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Clock = TftpReceiveQueue::Clock;

TftpImpairment::Datagram Numbered(uint8_t n)
{
    return TftpImpairment::Datagram{{n}, {}, 0};
}

TEST(TftpReceiveQueueTest, TakesOneAtATimeAtItsOwnPace)
{
    TftpReceiveQueue queue(5ms, 3);
    EXPECT_TRUE(queue.Active());
    EXPECT_FALSE(TftpReceiveQueue(0ms, 0).Active());
    const Clock::time_point t0{};
    for (uint8_t n = 0; n < 5; ++n)
        EXPECT_EQ(queue.Arrive(Numbered(n), t0), n < 3) << int(n);

    ASSERT_EQ(queue.Take(t0)->bytes[0], 0);
    EXPECT_FALSE(queue.Take(t0 + 4ms)); // still busy with the first
    EXPECT_EQ(*queue.NextDue(), t0 + 5ms);
    // A late wake-up takes the next as of when the unit became free, so the
    // one after is due 5 ms after that, not after the wake-up.
    ASSERT_EQ(queue.Take(t0 + 7ms)->bytes[0], 1);
    EXPECT_EQ(*queue.NextDue(), t0 + 10ms);
    ASSERT_EQ(queue.Take(t0 + 10ms)->bytes[0], 2);
    EXPECT_FALSE(queue.NextDue());

    // An idle unit takes a newcomer at once.
    EXPECT_TRUE(queue.Arrive(Numbered(9), t0 + 100ms));
    ASSERT_EQ(queue.Take(t0 + 100ms)->bytes[0], 9);
    EXPECT_TRUE(queue.Empty());
}

} // namespace
