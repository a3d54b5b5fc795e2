#include "HistoryFilter.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool Contains(const std::string& text, const std::string& lowerPart)
{
    return !text.empty() && Lower(text).find(lowerPart) != std::string::npos;
}

} // namespace

bool HistoryFilter::Matches(const DownloadRecord& record) const
{
    if (since && record.start < *since)
        return false;
    if (until && record.start >= *until)
        return false;
    if (!outcomes.empty() && std::find(outcomes.begin(), outcomes.end(), record.outcome) == outcomes.end())
        return false;
    if (!target.empty()) {
        const std::string part = Lower(target);
        if (!Contains(record.target, part) && !Contains(record.port, part) && !Contains(record.device, part) &&
            !Contains(record.address, part))
            return false;
    }
    return true;
}

std::vector<DownloadRecord> HistoryFilter::Select(const std::vector<DownloadRecord>& records, size_t limit) const
{
    std::vector<DownloadRecord> chosen;
    for (const DownloadRecord& record : records)
        if (Matches(record))
            chosen.push_back(record);
    // The log is in the order downloads ended; people look for when they began.
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const DownloadRecord& a, const DownloadRecord& b) { return a.start > b.start; });
    if (limit > 0 && chosen.size() > limit)
        chosen.resize(limit);
    return chosen;
}

bool HistoryFilter::ParseTime(const std::string& text, TimePoint now, TimePoint& time)
{
    if (DownloadRecord::ParseTime(text, time))
        return true;
    if (text.size() < 2 || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    const unsigned long long count = std::strtoull(text.c_str(), &end, 10);
    // The unit is the text's last character (a NUL inside ends nothing here).
    if (end == nullptr || static_cast<size_t>(end - text.c_str()) != text.size() - 1)
        return false;
    long long unit = 0;
    switch (end[0]) {
    case 's': unit = 1; break;
    case 'm': unit = 60; break;
    case 'h': unit = 3600; break;
    case 'd': unit = 86400; break;
    default: return false;
    }
    // A century back at most: older than any log, and no overflow of the clock.
    constexpr unsigned long long LongestAge = 100ULL * 366 * 86400;
    if (count > LongestAge / static_cast<unsigned long long>(unit))
        return false;
    const long long seconds = static_cast<long long>(count) * unit;
    time = now - std::chrono::seconds(seconds);
    return true;
}
