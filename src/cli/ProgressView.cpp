#include "ProgressView.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <utility>

#include "JsonLine.h"
#include "TextTable.h"
#include "TransferEstimate.h"

namespace {

constexpr int BarWidth = 20;
// When the terminal does not say how wide it is.
constexpr size_t DefaultWidth = 100;

double SecondsBetween(ProgressView::Clock::time_point from, ProgressView::Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

std::string Printf(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

size_t TerminalWidth(std::FILE* out)
{
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(fileno(out)));
    if (::GetConsoleScreenBufferInfo(console, &info) && info.srWindow.Right > info.srWindow.Left)
        return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
#else
    winsize size{};
    if (::ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return DefaultWidth;
}

void Put(std::FILE* out, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), out);
}

} // namespace

ProgressView::ProgressView(Mode mode, std::FILE* messages, std::FILE* results, std::function<void()> targetEnded)
    : mode(mode), messages(messages), results(results), targetEnded(std::move(targetEnded))
{
}

int ProgressView::AddTarget(const std::string& label, int64_t totalBytes)
{
    std::lock_guard lock(mutex);
    Target target;
    target.label = label;
    target.totalBytes = totalBytes;
    targets.push_back(target);
    return static_cast<int>(targets.size()) - 1;
}

void ProgressView::Started(int index)
{
    std::lock_guard lock(mutex);
    Target& target = targets.at(static_cast<size_t>(index));
    target.started = target.lastStatusAt = Clock::now();
}

void ProgressView::Status(int index, const std::string& text)
{
    std::lock_guard lock(mutex);
    Target& target = targets.at(static_cast<size_t>(index));
    target.status = text;
    target.lastStatusAt = Clock::now();
    switch (mode) {
    case Mode::Lines:
        Put(messages, target.label + ": " + text + "\n");
        std::fflush(messages);
        break;
    case Mode::Json:
        JsonLine::Write(results, {{"target", target.label}, {"event", "status"}, {"text", text}});
        break;
    case Mode::Bars:
    case Mode::Quiet:
        break;
    }
}

void ProgressView::Progress(int index, int percent)
{
    std::lock_guard lock(mutex);
    Target& target = targets.at(static_cast<size_t>(index));
    if (!target.progressSeen) {
        // The status just before the first block ("Downloading using ...") marks
        // where the transfer began; the rate is measured from there.
        target.progressSeen = true;
        target.transferStarted = target.lastStatusAt;
    }
    target.percent = std::clamp(percent, 0, 100);
    if (mode == Mode::Json) {
        const Result now = ResultOf(target, Clock::now());
        JsonLine::Write(results, {{"target", target.label},
                                  {"event", "progress"},
                                  {"percent", target.percent},
                                  {"bytes", now.bytes},
                                  {"total", target.totalBytes}});
    }
}

void ProgressView::Finished(int index, TargetOutcome outcome, const std::string& finalText)
{
    {
        std::lock_guard lock(mutex);
        Target& target = targets.at(static_cast<size_t>(index));
        target.ended = Clock::now();
        target.outcome = outcome;
        target.status = finalText;
        if (mode == Mode::Json) {
            const Result result = ResultOf(target, target.ended);
            JsonLine::Write(results, {{"target", result.target},
                                      {"event", "result"},
                                      {"outcome", TargetOutcomeName(result.outcome)},
                                      {"text", result.text},
                                      {"bytes", result.bytes},
                                      {"seconds", result.seconds},
                                      {"rate", result.bytesPerSecond}});
        }
    }
    if (targetEnded)
        targetEnded();
}

void ProgressView::Note(const std::string& text)
{
    std::lock_guard lock(mutex);
    std::string out;
    if (drawnLines > 0) {
        // Over the bars, which are drawn again below it.
        out = "\x1b[" + std::to_string(drawnLines) + "A\r\x1b[J";
        drawnLines = 0;
    }
    Put(messages, out + "vennix-cli: " + text + "\n");
    RedrawLocked();
    std::fflush(messages);
}

bool ProgressView::AllFinished() const
{
    return Unfinished() == 0;
}

int ProgressView::Unfinished() const
{
    std::lock_guard lock(mutex);
    return static_cast<int>(std::count_if(targets.begin(), targets.end(), [](const Target& target) {
        return target.outcome == TargetOutcome::Running;
    }));
}

ProgressView::Result ProgressView::ResultOf(const Target& target, Clock::time_point now) const
{
    Result result;
    result.target = target.label;
    result.outcome = target.outcome;
    result.text = target.status;
    const Clock::time_point end = target.outcome == TargetOutcome::Running ? now : target.ended;
    result.seconds = SecondsBetween(target.started, end);
    result.bytes = target.outcome == TargetOutcome::Finished ? target.totalBytes
                                                              : target.totalBytes * target.percent / 100;
    if (target.progressSeen) {
        const double transfer = SecondsBetween(target.transferStarted, end);
        if (transfer > 0)
            result.bytesPerSecond = static_cast<double>(result.bytes) / transfer;
    }
    return result;
}

std::vector<ProgressView::Result> ProgressView::Results() const
{
    std::lock_guard lock(mutex);
    std::vector<Result> all;
    const Clock::time_point now = Clock::now();
    for (const Target& target : targets)
        all.push_back(ResultOf(target, now));
    return all;
}

std::string ProgressView::BarLine(const Target& target, Clock::time_point now, size_t width) const
{
    size_t labelWidth = 0;
    for (const Target& each : targets)
        labelWidth = std::max(labelWidth, each.label.size());
    const Result result = ResultOf(target, now);
    const bool finished = target.outcome == TargetOutcome::Finished;
    const int filled = finished ? BarWidth : target.percent * BarWidth / 100;

    std::string line = target.label + std::string(labelWidth - target.label.size(), ' ') + "  [";
    line += std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(BarWidth - filled), '.');
    line += "] " + Printf("%3.0f%%", finished ? 100.0 : target.percent);
    if (target.progressSeen) {
        line += "  " + TransferEstimate::RateText(result.bytesPerSecond);
        if (target.outcome == TargetOutcome::Running && result.bytesPerSecond > 0) {
            const double left = static_cast<double>(target.totalBytes - result.bytes) / result.bytesPerSecond;
            line += "  " + TransferEstimate::DurationText(left) + " left";
        }
    }
    // One line per target: a text of several lines would break the redraw.
    line += "  " + TextTable::OneLine(target.status);
    if (line.size() >= width)
        line.resize(width - 1);
    return line;
}

void ProgressView::Redraw()
{
    std::lock_guard lock(mutex);
    RedrawLocked();
}

void ProgressView::RedrawLocked()
{
    if (mode != Mode::Bars)
        return;
    const size_t width = TerminalWidth(messages);
    const Clock::time_point now = Clock::now();
    std::string frame;
    if (drawnLines > 0)
        frame += "\x1b[" + std::to_string(drawnLines) + "A";
    for (const Target& target : targets)
        frame += "\r\x1b[2K" + BarLine(target, now, width) + "\n";
    drawnLines = static_cast<int>(targets.size());
    Put(messages, frame);
    std::fflush(messages);
}

void ProgressView::Conclude()
{
    std::lock_guard lock(mutex);
    RedrawLocked();
    if (mode != Mode::Json)
        PrintSummaryLocked();
}

void ProgressView::PrintSummaryLocked()
{
    const Clock::time_point now = Clock::now();
    TextTable table({"TARGET", "OUTCOME", "BYTES", "SECONDS", "RATE"}, 2);
    for (const Target& target : targets) {
        const Result result = ResultOf(target, now);
        table.Add({result.target, TextTable::OneLine(result.text), std::to_string(result.bytes),
                   Printf("%.1f", result.seconds), TransferEstimate::RateText(result.bytesPerSecond)});
    }
    table.Print(results);
}
