#pragma once

#include "DownloadRecord.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

// The time a record's text gives, for tests that write times as the log does.
inline DownloadRecord::TimePoint At(const std::string& text)
{
    DownloadRecord::TimePoint time;
    EXPECT_TRUE(DownloadRecord::ParseTime(text, time)) << text;
    return time;
}

// An Ethernet download to `target` that started `minutes` after a fixed hour
// and took 12 s, for the history views' tests: finished, or stopped after a
// quarter of its 4096 bytes; the digest differs from minute to minute.
inline DownloadRecord SampleDownload(const std::string& target, int minutes, RecordOutcome outcome,
                                     const std::string& filePath, const std::string& fileName)
{
    DownloadRecord record;
    record.Begin("vennix", "1.2");
    DownloadRecord::ParseTime("2026-12-09T18:00:00.000Z", record.start);
    record.start += std::chrono::minutes(minutes);
    record.end = record.start + std::chrono::seconds(12);
    record.transport = "ethernet";
    record.target = target;
    record.address = target;
    record.udpPort = 69;
    record.filePath = filePath;
    record.fileName = fileName;
    record.fileSize = 4096;
    record.fileKind = "application";
    record.sha256 = std::string(64, static_cast<char>('a' + minutes));
    record.bytesSent = outcome == RecordOutcome::Finished ? 4096 : 1024;
    record.outcome = outcome;
    record.finalText = outcome == RecordOutcome::Finished ? "Download is finished." : "No response from the unit.";
    return record;
}
