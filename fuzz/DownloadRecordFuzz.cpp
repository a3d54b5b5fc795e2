// A line of a download log (a shared log on a network folder can hold
// anything): a line taken as a record writes back to the same record, its
// numbers outside their range are left out rather than converted, and its CSV
// row has a field for every heading.
#include "DownloadRecord.h"
#include "FuzzCheck.h"
#include "HistoryFilter.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    DownloadRecord record;
    if (DownloadRecord::FromJson(line, record)) {
        const std::string written = record.ToJson();
        DownloadRecord again;
        FUZZ_CHECK(DownloadRecord::FromJson(written, again));
        FUZZ_CHECK(again.ToJson() == written);
        FUZZ_CHECK(record.CsvFields().size() == DownloadRecord::CsvHeader().size());
    }
    // The same text as a time: one that is accepted prints and reads back as itself.
    DownloadRecord::TimePoint now;
    DownloadRecord::ParseTime("2026-12-09T18:00:00Z", now);
    DownloadRecord::TimePoint time;
    if (HistoryFilter::ParseTime(line, now, time)) {
        DownloadRecord::TimePoint back;
        const std::string printed = DownloadRecord::FormatTime(time);
        FUZZ_CHECK(DownloadRecord::ParseTime(printed, back));
        FUZZ_CHECK(DownloadRecord::FormatTime(back) == printed);
    }
    return 0;
}
