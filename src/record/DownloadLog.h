#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class DownloadRecord;

// The log of downloads: JSON Lines, one record a line, appended under a lock
// (so that every process and thread writing at once leaves whole lines) and
// flushed to disk. Once it would grow past its limit it is rotated: the log
// becomes <path>.1, <path>.1 becomes <path>.2 and so on, the oldest dropped.
class DownloadLog {
public:
    // A few thousand records a file.
    static constexpr int64_t DefaultMaxBytes = 4 * 1024 * 1024;
    // Rotated files kept besides the log itself.
    static constexpr int DefaultKeep = 4;
    // Another writer holds the lock for one line; waiting this long means it is
    // stuck, and the record is given up rather than the program held.
    static constexpr std::chrono::milliseconds LockWait{5000};

    explicit DownloadLog(std::string path, int64_t maxBytes = DefaultMaxBytes, int keep = DefaultKeep);

    // downloads.jsonl in the user's data folder.
    static std::string DefaultPath();
    const std::string& Path() const { return path; }
    std::string LockPath() const { return path + ".lock"; }

    // Appends the record, making the log's folder when missing. False with the
    // reason in *error; the log is then as it was.
    bool Append(const DownloadRecord& record, std::string* error) const;

    // Every record in the log and its rotated files, oldest first. Lines that
    // are no record (damaged, foreign) are skipped and counted in *skipped.
    // False when a file exists but cannot be read. With newestAtLeast above 0,
    // only that many of the newest records are read (older lines left unparsed).
    bool ReadAll(std::vector<DownloadRecord>& records, int* skipped, std::string* error,
                 size_t newestAtLeast = 0) const;

    // The rotated files and the log, oldest first, whether present or not.
    std::vector<std::string> Files() const;

private:
    void Rotate() const;

    std::string path;
    int64_t maxBytes;
    int keep;
};
