#include "HistoryCommand.h"

#include <cstdio>
#include <string>

#include "DownloadLog.h"
#include "DownloadRecord.h"
#include "ExitCode.h"
#include "TextTable.h"

namespace {

void PutLine(std::FILE* out, const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
}

} // namespace

void HistoryCommand::PrintTable(const std::vector<DownloadRecord>& records, std::FILE* out)
{
    TextTable table({"START (UTC)", "TARGET", "FILE", "OUTCOME", "BYTES", "SECONDS", "SHA-256", "TEXT"});
    for (const DownloadRecord& record : records) {
        std::string start = DownloadRecord::FormatTime(record.start);
        start = start.substr(0, 10) + " " + start.substr(11, 8);
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", record.DurationSeconds());
        table.Add({start, TextTable::OneLine(record.target), TextTable::OneLine(record.fileName),
                   DownloadRecord::OutcomeName(record.outcome),
                   std::to_string(record.bytesSent) + "/" + std::to_string(record.fileSize), seconds, record.sha256,
                   TextTable::OneLine(record.finalText)});
    }
    table.Print(out);
}

void HistoryCommand::PrintJson(const std::vector<DownloadRecord>& records, std::FILE* out)
{
    for (const DownloadRecord& record : records)
        PutLine(out, record.ToJson());
    std::fflush(out);
}

void HistoryCommand::PrintCsv(const std::vector<DownloadRecord>& records, std::FILE* out)
{
    PutLine(out, DownloadRecord::CsvLine(DownloadRecord::CsvHeader()));
    for (const DownloadRecord& record : records)
        PutLine(out, DownloadRecord::CsvLine(record.CsvFields()));
    std::fflush(out);
}

int HistoryCommand::Run(const CliRequest& request, std::FILE* messages, std::FILE* results)
{
    const DownloadLog log(request.recordPath.empty() ? DownloadLog::DefaultPath() : request.recordPath);
    std::vector<DownloadRecord> all;
    int skipped = 0;
    std::string error;
    if (!log.ReadAll(all, &skipped, &error)) {
        std::fprintf(messages, "vennix-cli: %s\n", error.c_str());
        return ExitFailed;
    }
    if (skipped > 0)
        std::fprintf(messages, "vennix-cli: %d %s in %s %s no download record and %s skipped.\n", skipped,
                     skipped == 1 ? "line" : "lines", log.Path().c_str(), skipped == 1 ? "is" : "are",
                     skipped == 1 ? "was" : "were");
    const std::vector<DownloadRecord> chosen = request.filter.Select(all, request.limit);
    if (request.json) {
        PrintJson(chosen, results);
    } else if (request.csv) {
        PrintCsv(chosen, results);
    } else if (all.empty()) {
        std::fprintf(messages, "vennix-cli: no downloads are recorded in %s.\n", log.Path().c_str());
    } else if (chosen.empty()) {
        std::fprintf(messages, "vennix-cli: none of the %zu recorded downloads matches.\n", all.size());
    } else {
        PrintTable(chosen, results);
    }
    return ExitFinished;
}
