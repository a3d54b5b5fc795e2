#include <gtest/gtest.h>

#include "SampleRecords.h"
#include "HistoryFilter.h"

namespace {

DownloadRecord Record(const std::string& start, const std::string& target, RecordOutcome outcome)
{
    DownloadRecord record;
    record.start = record.end = At(start);
    record.target = target;
    record.outcome = outcome;
    if (target.rfind("COM", 0) == 0) {
        record.port = target;
        record.device = "/dev/ttyUSB0";
    } else {
        record.address = target;
    }
    return record;
}

std::vector<std::string> Targets(const std::vector<DownloadRecord>& records)
{
    std::vector<std::string> targets;
    for (const DownloadRecord& record : records)
        targets.push_back(record.target);
    return targets;
}

const std::vector<DownloadRecord> Log = {
    Record("2026-12-08T10:00:00Z", "COM33", RecordOutcome::Finished),
    Record("2026-12-09T09:00:00Z", "192.168.1.50", RecordOutcome::Failed),
    Record("2026-12-09T11:00:00Z", "COM40", RecordOutcome::Cancelled),
    // Ended last, started before the one above: the log's order is the end's.
    Record("2026-12-09T10:00:00Z", "192.168.1.51", RecordOutcome::TimedOut),
};

} // namespace

TEST(HistoryFilterTest, NewestFirstByStartAndLimited)
{
    HistoryFilter all;
    EXPECT_EQ(Targets(all.Select(Log, 0)),
              (std::vector<std::string>{"COM40", "192.168.1.51", "192.168.1.50", "COM33"}));
    EXPECT_EQ(Targets(all.Select(Log, 2)), (std::vector<std::string>{"COM40", "192.168.1.51"}));
}

TEST(HistoryFilterTest, TimeTargetAndOutcomeNarrowTogether)
{
    HistoryFilter filter;
    filter.since = At("2026-12-09");
    filter.until = At("2026-12-09T11:00");
    EXPECT_EQ(Targets(filter.Select(Log, 0)), (std::vector<std::string>{"192.168.1.51", "192.168.1.50"}));

    filter.target = "1.50";
    EXPECT_EQ(Targets(filter.Select(Log, 0)), (std::vector<std::string>{"192.168.1.50"}));

    HistoryFilter byDevice;
    byDevice.target = "ttyusb"; // a device, in any case
    EXPECT_EQ(Targets(byDevice.Select(Log, 0)), (std::vector<std::string>{"COM40", "COM33"}));

    HistoryFilter byOutcome;
    byOutcome.outcomes = {RecordOutcome::Failed, RecordOutcome::TimedOut};
    EXPECT_EQ(Targets(byOutcome.Select(Log, 0)), (std::vector<std::string>{"192.168.1.51", "192.168.1.50"}));
    byOutcome.target = "COM";
    EXPECT_TRUE(byOutcome.Select(Log, 0).empty());
}

TEST(HistoryFilterTest, TimesAreDatesOrAges)
{
    const DownloadRecord::TimePoint now = At("2026-12-09T12:00:00Z");
    DownloadRecord::TimePoint time;
    ASSERT_TRUE(HistoryFilter::ParseTime("90s", now, time));
    EXPECT_EQ(DownloadRecord::FormatTime(time), "2026-12-09T11:58:30.000Z");
    ASSERT_TRUE(HistoryFilter::ParseTime("12h", now, time));
    EXPECT_EQ(DownloadRecord::FormatTime(time), "2026-12-09T00:00:00.000Z");
    ASSERT_TRUE(HistoryFilter::ParseTime("7d", now, time));
    EXPECT_EQ(DownloadRecord::FormatTime(time), "2026-12-02T12:00:00.000Z");
    ASSERT_TRUE(HistoryFilter::ParseTime("2026-12-01T08:30", now, time));
    EXPECT_EQ(DownloadRecord::FormatTime(time), "2026-12-01T08:30:00.000Z");
    for (const char* wrong : {"", "h", "12", "12x", "-5m", "5 m", "5mm", "99999999999999999999d", "444444444d", "36600d1"})
        EXPECT_FALSE(HistoryFilter::ParseTime(wrong, now, time)) << wrong;
    EXPECT_FALSE(HistoryFilter::ParseTime(std::string("5d\0junk", 7), now, time));
}
