#include "TftpImpairment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = TftpImpairment::Clock;

// Submits datagrams numbered 0..count-1, one a millisecond of made-up time, and
// returns the numbers in the order they come out, letting everything held fall due.
std::vector<int> Pass(TftpImpairment& impairment, int count)
{
    const Clock::time_point start{};
    std::vector<int> out;
    auto take = [&](Clock::time_point now) {
        for (const auto& d : impairment.TakeDue(now))
            out.push_back(d.bytes[0] | d.bytes[1] << 8);
    };
    for (int i = 0; i < count; ++i) {
        const auto now = start + std::chrono::milliseconds(i);
        TftpImpairment::Datagram d;
        d.bytes = {static_cast<uint8_t>(i & 0xFF), static_cast<uint8_t>(i >> 8)};
        impairment.Submit(d, now);
        take(now);
    }
    while (const auto next = impairment.NextDue())
        take(*next);
    return out;
}

TEST(TftpImpairmentTest, TheSameSeedGivesTheSameFates)
{
    TftpImpairment::Settings settings{10, 10, 10, 10, 5ms};
    TftpImpairment a(settings, 7), b(settings, 7), c(settings, 8);
    const auto first = Pass(a, 1000);
    EXPECT_EQ(first, Pass(b, 1000));
    EXPECT_NE(first, Pass(c, 1000));
}

TEST(TftpImpairmentTest, EachMistreatmentDoesWhatItSays)
{
    std::vector<int> all(2000);
    for (int i = 0; i < 2000; ++i)
        all[static_cast<size_t>(i)] = i;

    TftpImpairment clean({}, 1);
    EXPECT_FALSE(clean.Active());
    EXPECT_EQ(Pass(clean, 2000), all);

    TftpImpairment lossy({5, 0, 0, 0, 0ms}, 1);
    const auto kept = Pass(lossy, 2000);
    EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end()));
    EXPECT_GT(kept.size(), 1800u);
    EXPECT_LT(kept.size(), 1960u);

    TftpImpairment doubling({0, 100, 0, 0, 0ms}, 1);
    const auto twice = Pass(doubling, 10);
    EXPECT_EQ(twice, (std::vector<int>{0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9}));

    // Held back ones come out later, none lost, none doubled.
    for (TftpImpairment::Settings late : {TftpImpairment::Settings{0, 0, 10, 0, 0ms},
                                          TftpImpairment::Settings{0, 0, 0, 10, 20ms}}) {
        TftpImpairment shuffling(late, 3);
        auto order = Pass(shuffling, 2000);
        EXPECT_FALSE(std::is_sorted(order.begin(), order.end()));
        std::sort(order.begin(), order.end());
        EXPECT_EQ(order, all);
    }
}

TEST(TftpImpairmentTest, DelayedDatagramFallsDueOnTime)
{
    TftpImpairment delaying({0, 0, 0, 100, 30ms}, 1);
    const Clock::time_point t0{};
    delaying.Submit(TftpImpairment::Datagram{{1}, {}, 0}, t0);
    EXPECT_TRUE(delaying.TakeDue(t0 + 29ms).empty());
    ASSERT_TRUE(delaying.NextDue());
    EXPECT_EQ(*delaying.NextDue(), t0 + 30ms);
    EXPECT_EQ(delaying.TakeDue(t0 + 30ms).size(), 1u);
    EXPECT_FALSE(delaying.NextDue());
}

} // namespace
