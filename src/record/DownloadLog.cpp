#include "DownloadLog.h"

#include <algorithm>
#include <utility>

#include "DownloadRecord.h"
#include "LogFile.h"
#include "LogLock.h"
#include "UserFolders.h"

namespace {

std::string FolderOf(const std::string& path)
{
    const size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos || separator == 0 ? std::string() : path.substr(0, separator);
}

} // namespace

DownloadLog::DownloadLog(std::string path, int64_t maxBytes, int keep)
    : path(std::move(path)), maxBytes(maxBytes), keep(keep < 0 ? 0 : keep)
{
}

std::string DownloadLog::DefaultPath()
{
#ifdef _WIN32
    return UserFolders::DataFolder() + "\\downloads.jsonl";
#else
    return UserFolders::DataFolder() + "/downloads.jsonl";
#endif
}

std::vector<std::string> DownloadLog::Files() const
{
    std::vector<std::string> files;
    for (int n = keep; n >= 1; --n)
        files.push_back(path + "." + std::to_string(n));
    files.push_back(path);
    return files;
}

void DownloadLog::Rotate() const
{
    // Should a rename fail (a reader on Windows holding a file), the log grows a
    // little longer and the next record tries again: a record is never lost to it.
    if (keep == 0) {
        LogFile::Remove(path);
        return;
    }
    LogFile::Remove(path + "." + std::to_string(keep));
    for (int n = keep - 1; n >= 1; --n) {
        const std::string older = path + "." + std::to_string(n);
        if (LogFile::Size(older) >= 0)
            LogFile::Rename(older, path + "." + std::to_string(n + 1));
    }
    LogFile::Rename(path, path + ".1");
}

bool DownloadLog::Append(const DownloadRecord& record, std::string* error) const
{
    std::string reason;
    const std::string folder = FolderOf(path);
    if (!folder.empty() && !UserFolders::MakeFolder(folder)) {
        if (error != nullptr)
            *error = "cannot make the folder " + folder;
        return false;
    }
    LogLock lock;
    if (!lock.Acquire(LockPath(), LogLock::Mode::Exclusive, LockWait, reason)) {
        if (error != nullptr)
            *error = reason;
        return false;
    }
    const std::string line = record.ToJson() + "\n";
    const int64_t size = LogFile::Size(path);
    if (size > 0 && size + static_cast<int64_t>(line.size()) > maxBytes)
        Rotate();
    if (!LogFile::AppendLine(path, line, reason)) {
        if (error != nullptr)
            *error = reason;
        return false;
    }
    return true;
}

bool DownloadLog::ReadAll(std::vector<DownloadRecord>& records, int* skipped, std::string* error,
                          size_t newestAtLeast) const
{
    records.clear();
    int damaged = 0;
    // Shared: writers wait until the files have been read, so no line is seen
    // half written and no rotation moves a file between two reads. A log that
    // cannot be locked (a read-only share without its lock file) is read as it is.
    LogLock lock;
    std::string reason;
    lock.Acquire(LockPath(), LogLock::Mode::Shared, LockWait, reason);
    // Newest file first, so that the reading can stop early; put in order at the end.
    std::vector<std::vector<DownloadRecord>> byFile;
    size_t found = 0;
    const std::vector<std::string> files = Files();
    for (auto file = files.rbegin(); file != files.rend(); ++file) {
        if (newestAtLeast > 0 && found >= newestAtLeast)
            break;
        std::string content;
        if (!LogFile::ReadAll(*file, content, reason)) {
            if (error != nullptr)
                *error = reason;
            return false;
        }
        // The lines from the last one back, so that reading can stop as soon as
        // enough of the newest have been found: parsing is what costs.
        std::vector<std::pair<size_t, size_t>> lines;
        for (size_t at = 0; at < content.size();) {
            size_t end = content.find('\n', at);
            if (end == std::string::npos)
                end = content.size();
            size_t length = end - at;
            if (length > 0 && content[at + length - 1] == '\r')
                --length;
            if (length > 0)
                lines.emplace_back(at, length);
            at = end + 1;
        }
        std::vector<DownloadRecord>& these = byFile.emplace_back();
        for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
            if (newestAtLeast > 0 && found + these.size() >= newestAtLeast)
                break;
            DownloadRecord record;
            if (DownloadRecord::FromJson(content.substr(line->first, line->second), record))
                these.push_back(std::move(record));
            else
                ++damaged;
        }
        std::reverse(these.begin(), these.end());
        found += these.size();
    }
    for (auto file = byFile.rbegin(); file != byFile.rend(); ++file)
        for (DownloadRecord& record : *file)
            records.push_back(std::move(record));
    if (skipped != nullptr)
        *skipped = damaged;
    return true;
}
