#pragma once

#include <cstdint>
#include <string>

// The file operations the download log needs, on the platform's own calls, so
// that a line is written whole and reaches the disk before the call returns.
// The caller holds the log's lock around each of them.
class LogFile {
public:
    // Appends `line` (which ends with a line end) in one piece and flushes it to
    // disk. Should the file end in the middle of a line (a writer that died), the
    // line starts on a line of its own. A write that fails part way is undone.
    // False with the reason in `error`.
    static bool AppendLine(const std::string& path, const std::string& line, std::string& error);
    // The whole file; a missing file reads as empty.
    static bool ReadAll(const std::string& path, std::string& content, std::string& error);
    // Size in bytes; -1 when the file does not exist.
    static int64_t Size(const std::string& path);
    // Replaces `to` when it exists.
    static bool Rename(const std::string& from, const std::string& to);
    static bool Remove(const std::string& path);
};
