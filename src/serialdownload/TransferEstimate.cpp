#include "TransferEstimate.h"

#include <algorithm>
#include <cstdio>

namespace {

// Below this the time since the first report says nothing about the rate: a
// few reports can come in one burst when the device's buffer takes them.
constexpr double MinMeasuredSeconds = 0.2;

std::string Printf(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

void TransferEstimate::Start(int64_t totalBytes)
{
    *this = TransferEstimate();
    total = std::max<int64_t>(totalBytes, 0);
}

void TransferEstimate::Progress(int percent, Clock::time_point now)
{
    sent = total * std::clamp(percent, 0, 100) / 100;
    begun = true;
    samples.push_back({now, sent});
    // One sample older than the window stays as its anchor.
    while (samples.size() > 2 && samples[1].at <= now - RateWindow)
        samples.pop_front();
}

const TransferEstimate::Sample& TransferEstimate::Anchor(Clock::time_point now) const
{
    const Sample* anchor = &samples.front();
    for (const Sample& sample : samples) {
        if (sample.at > now - RateWindow)
            break;
        anchor = &sample;
    }
    return *anchor;
}

double TransferEstimate::BytesPerSecond(Clock::time_point now) const
{
    if (!begun)
        return 0;
    const Sample& anchor = Anchor(now);
    const double seconds = std::chrono::duration<double>(now - anchor.at).count();
    if (seconds < MinMeasuredSeconds || sent <= anchor.sent)
        return 0;
    return static_cast<double>(sent - anchor.sent) / seconds;
}

double TransferEstimate::SecondsLeft(Clock::time_point now) const
{
    const double rate = BytesPerSecond(now);
    if (rate <= 0)
        return -1;
    return static_cast<double>(total - sent) / rate;
}

std::string TransferEstimate::Text(Clock::time_point now) const
{
    if (!begun)
        return std::string();
    std::string text = SizeText(sent, total) + " of " + SizeText(total, total);
    const double rate = BytesPerSecond(now);
    if (rate > 0) {
        text += ", " + RateText(rate);
        if (sent < total)
            text += ", " + DurationText(SecondsLeft(now)) + " left";
    }
    return text;
}

std::string TransferEstimate::SizeText(int64_t bytes, int64_t scale)
{
    const double value = static_cast<double>(bytes);
    if (scale < 1000)
        return std::to_string(bytes) + " bytes";
    if (scale < 1000000)
        return Printf("%.1f kB", value / 1e3);
    return Printf("%.1f MB", value / 1e6);
}

std::string TransferEstimate::RateText(double bytesPerSecond)
{
    if (bytesPerSecond <= 0)
        return "-";
    if (bytesPerSecond < 1000)
        return Printf("%.0f B/s", bytesPerSecond);
    if (bytesPerSecond < 1e6)
        return Printf("%.1f kB/s", bytesPerSecond / 1e3);
    return Printf("%.1f MB/s", bytesPerSecond / 1e6);
}

std::string TransferEstimate::DurationText(double seconds)
{
    const long whole = static_cast<long>(std::max(seconds, 0.0) + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}
