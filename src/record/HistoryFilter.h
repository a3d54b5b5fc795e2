#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "DownloadRecord.h"

// Which records of the log to show: by the time a download started, by its
// target and by its outcome. An empty filter takes every record.
class HistoryFilter {
public:
    using TimePoint = DownloadRecord::TimePoint;

    std::optional<TimePoint> since; // started at or after
    std::optional<TimePoint> until; // started before
    // Part of the target as named, its COM name, device or address, in any case.
    std::string target;
    // Any of these; empty takes every outcome.
    std::vector<RecordOutcome> outcomes;

    bool Matches(const DownloadRecord& record) const;
    // The matching records, newest first, at most `limit` of them (0: all).
    std::vector<DownloadRecord> Select(const std::vector<DownloadRecord>& records, size_t limit) const;

    // A point in time as a person gives it: a UTC date and time as the records
    // write it ("2026-12-09", "2026-12-09T18:00", "2026-12-09 18:00:05Z"), or an
    // age before `now` ("90s", "30m", "12h", "7d"). False for anything else.
    static bool ParseTime(const std::string& text, TimePoint now, TimePoint& time);
};
