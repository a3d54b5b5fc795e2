#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "DownloadLog.h"
#include "DownloadRecord.h"

// The latest records as a window's history shows them: rows of text, newest
// first; selected rows copied as tab-separated text; all of them exported as
// CSV with every field. What a history dialog of any toolkit draws.
class HistoryTable {
public:
    // Enough for weeks of a busy bench; older ones are for vennix-cli history.
    static constexpr size_t ShownRecords = 500;

    explicit HistoryTable(DownloadLog log);

    // (Re)reads the log. False with the reason in *error; the rows are then empty.
    bool Load(std::string* error);

    static std::vector<std::string> Headings();
    size_t RowCount() const { return records.size(); }
    std::vector<std::string> Row(size_t index) const;
    const std::vector<DownloadRecord>& Records() const { return records; }
    // Lines that were no record (damaged, foreign), skipped when loading.
    int Skipped() const { return skipped; }
    const DownloadLog& Log() const { return log; }

    // The headings and the given rows (every row when none are given), one
    // line each, cells apart by tabs: what a spreadsheet takes from the clipboard.
    std::string CopyText(const std::vector<size_t>& rows) const;
    // Every shown record with all its fields as CSV, heading first.
    std::string CsvText() const;
    bool ExportCsv(const std::string& path, std::string* error) const;

private:
    DownloadLog log;
    std::vector<DownloadRecord> records;
    int skipped = 0;
};
