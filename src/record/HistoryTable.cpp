#include "HistoryTable.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "HistoryFilter.h"

namespace {

// A cell holds one line and no tab.
std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    return text;
}

} // namespace

HistoryTable::HistoryTable(DownloadLog log) : log(std::move(log)) {}

bool HistoryTable::Load(std::string* error)
{
    std::vector<DownloadRecord> all;
    skipped = 0;
    if (!log.ReadAll(all, &skipped, error, ShownRecords)) {
        records.clear();
        return false;
    }
    records = HistoryFilter().Select(all, ShownRecords);
    return true;
}

std::vector<std::string> HistoryTable::Headings()
{
    return {"Start (UTC)", "Target", "File", "Outcome", "Bytes sent", "Seconds", "SHA-256", "Final text"};
}

std::vector<std::string> HistoryTable::Row(size_t index) const
{
    const DownloadRecord& record = records.at(index);
    std::string start = DownloadRecord::FormatTime(record.start);
    start = start.substr(0, 10) + " " + start.substr(11, 8);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", record.DurationSeconds());
    std::string target = record.target;
    if (!record.device.empty())
        target += " (" + record.device + ")";
    return {start,
            OneLine(target),
            OneLine(record.fileName),
            DownloadRecord::OutcomeName(record.outcome),
            std::to_string(record.bytesSent) + " of " + std::to_string(record.fileSize),
            seconds,
            record.sha256,
            OneLine(record.finalText)};
}

std::string HistoryTable::CopyText(const std::vector<size_t>& rows) const
{
    auto line = [](const std::vector<std::string>& cells) {
        std::string text;
        for (size_t i = 0; i < cells.size(); ++i)
            text += (i > 0 ? "\t" : "") + cells[i];
        return text + "\n";
    };
    std::string text = line(Headings());
    if (rows.empty()) {
        for (size_t i = 0; i < records.size(); ++i)
            text += line(Row(i));
    } else {
        for (size_t index : rows)
            if (index < records.size())
                text += line(Row(index));
    }
    return text;
}

std::string HistoryTable::CsvText() const
{
    std::string text = DownloadRecord::CsvLine(DownloadRecord::CsvHeader()) + "\r\n";
    for (const DownloadRecord& record : records)
        text += DownloadRecord::CsvLine(record.CsvFields()) + "\r\n";
    return text;
}

bool HistoryTable::ExportCsv(const std::string& path, std::string* error) const
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        if (error != nullptr)
            *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = CsvText();
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int savedErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        if (error != nullptr)
            *error = "cannot write " + path + ": " + std::strerror(written ? errno : savedErrno);
        return false;
    }
    return true;
}
