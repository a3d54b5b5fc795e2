#pragma once

#include <cstdio>
#include <vector>

#include "CommandLine.h"

class DownloadRecord;

// `vennix-cli history`: the records of past downloads, newest first, as a
// table, JSON Lines or CSV, chosen by time, target and outcome.
class HistoryCommand {
public:
    static int Run(const CliRequest& request, std::FILE* messages, std::FILE* results);

    static void PrintTable(const std::vector<DownloadRecord>& records, std::FILE* out);
    static void PrintJson(const std::vector<DownloadRecord>& records, std::FILE* out);
    static void PrintCsv(const std::vector<DownloadRecord>& records, std::FILE* out);
};
