// Figures for the results box under a flood: the window's received-data
// handler feeds it 1024-byte chunks, one per posted event, as fast as the
// event loop takes them, with the box shown (offscreen) so that it repaints.
// Per slice: MB/s taken in and shown, memory per byte of history (growth of
// the resident set, and what the history itself holds), and the longest time
// the event loop was blocked (the longest gap between two chunks, appends and
// repaints included). The same feed into the rich-text box the results box
// used to be gives the baseline, over the first few MB.
//
//   results_log_bench [MB per run, default 100] [MB per slice, default 10]
//                     [baseline MB, default 3] [--grab=file.png]

#include "ResultsLog.h"
#include "TextEditResultsLog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QEventLoop>
#include <QTimer>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
constexpr size_t ChunkBytes = 1024; // what one received-data message reads at most
constexpr size_t MB = 1024 * 1024; // figures are in MB of 2^20 bytes; slices are whole chunks

size_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

// The terminal's output: numbered text lines, or every byte value.
class Feed {
public:
    explicit Feed(bool mixed) : mixed(mixed) {}
    void Next(Bytes& chunk)
    {
        chunk.resize(ChunkBytes);
        for (auto& byte : chunk) {
            if (mixed) {
                state ^= state << 13;
                state ^= state >> 7;
                state ^= state << 17;
                byte = static_cast<uint8_t>(state >> 24);
            } else {
                if (pending.empty()) {
                    pending = std::to_string(line++) + " T=21.5C P=1013hPa flow=12.7l/min status OK\r\n";
                    at = 0;
                }
                byte = static_cast<uint8_t>(pending[at++]);
                if (at == pending.size())
                    pending.clear();
            }
        }
    }

private:
    bool mixed;
    uint64_t state = 0x9E3779B97F4A7C15ull;
    std::string pending;
    size_t at = 0;
    uint64_t line = 1;
};

struct Slice {
    double mbPerSecond;
    double residentPerByte;
    double historyPerByte; // < 0 when the box cannot tell
    double longestBlockMs;
};

// Feeds `total` bytes through the event loop, one chunk per posted event.
template <typename Box>
std::vector<Slice> Run(Box& box, bool mixed, size_t total, size_t sliceBytes,
                       const std::function<double(size_t fed)>& historyPerByte)
{
    Feed feed(mixed);
    Bytes chunk;
    std::vector<Slice> slices;
    QEventLoop loop;
    const size_t residentAtStart = ResidentBytes();
    size_t fed = 0;
    Clock::time_point sliceStart = Clock::now();
    Clock::time_point previous = sliceStart;
    double longest = 0;

    std::function<void()> step = [&] {
        Clock::time_point now = Clock::now();
        longest = std::max(longest, std::chrono::duration<double, std::milli>(now - previous).count());
        previous = now;
        if (fed > 0 && fed % sliceBytes == 0) {
            double seconds = std::chrono::duration<double>(now - sliceStart).count();
            double resident = static_cast<double>(ResidentBytes()) - static_cast<double>(residentAtStart);
            slices.push_back({static_cast<double>(sliceBytes) / MB / seconds, resident / static_cast<double>(fed), historyPerByte(fed), longest});
            longest = 0;
            sliceStart = Clock::now();
            previous = sliceStart;
        }
        if (fed >= total) {
            loop.quit();
            return;
        }
        feed.Next(chunk);
        box.AppendBytes(chunk.data(), static_cast<int>(chunk.size()), false, 0);
        fed += chunk.size();
        QMetaObject::invokeMethod(&loop, step, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(&loop, step, Qt::QueuedConnection);
    loop.exec();
    // The last frame of appends is still to be shown: let it be.
    QEventLoop settle;
    QTimer::singleShot(50, &settle, &QEventLoop::quit);
    settle.exec();
    return slices;
}

void Print(const char* title, const std::vector<Slice>& slices, size_t sliceBytes)
{
    std::printf("\n%s\n", title);
    std::printf("  %-12s %9s %14s %14s %16s\n", "slice (MB)", "MB/s", "RSS B/byte", "history B/byte", "longest block ms");
    size_t from = 0;
    for (const Slice& slice : slices) {
        char range[32];
        std::snprintf(range, sizeof range, "%zu-%zu", from, from + sliceBytes / MB);
        from += sliceBytes / MB;
        char history[32] = "-";
        if (slice.historyPerByte >= 0)
            std::snprintf(history, sizeof history, "%.2f", slice.historyPerByte);
        std::printf("  %-12s %9.2f %14.2f %14s %16.1f\n", range, slice.mbPerSecond, slice.residentPerByte, history,
                    slice.longestBlockMs);
    }
    std::fflush(stdout);
}

template <typename Box>
void Measure(const char* title, bool mixed, size_t total, size_t sliceBytes, const QString& grab = QString())
{
    ::malloc_trim(0); // what the last run freed does not count for this one
    Box box;
    box.resize(900, 500);
    box.show();
    std::function<double(size_t)> historyPerByte = [](size_t) { return -1.0; };
    if constexpr (std::is_same_v<Box, ResultsLog>)
        historyPerByte = [&box](size_t fed) { return static_cast<double>(box.History().MemoryUsed()) / static_cast<double>(fed); };
    Print(title, Run(box, mixed, total, sliceBytes, historyPerByte), sliceBytes);
    if (!grab.isEmpty())
        box.grab().save(grab);
    if constexpr (std::is_same_v<Box, ResultsLog>) {
        // Saving is done on the window's thread too: how long it holds the window.
        QString path = QDir::temp().filePath("results-log-bench.txt");
        Clock::time_point start = Clock::now();
        bool saved = box.SaveResults(path);
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("  Save results: %s %.0f MB of text in %.2f s\n", saved ? "wrote" : "FAILED to write",
                    static_cast<double>(QFileInfo(path).size()) / MB, seconds);
        QFile::remove(path);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<std::string> numbers;
    QString grab;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument.rfind("--grab=", 0) == 0)
            grab = QString::fromStdString(argument.substr(7));
        else
            numbers.push_back(argument);
    }
    auto number = [&numbers](size_t index, size_t fallback) {
        return index < numbers.size() ? static_cast<size_t>(std::atol(numbers[index].c_str())) : fallback;
    };
    const size_t total = number(0, 100) * MB;
    const size_t slice = number(1, 10) * MB;
    const size_t baseline = number(2, 3) * MB;

    std::printf("Results box fed %zu MB in %zu-byte chunks, one per event, offscreen at 900x500\n", total / MB,
                ChunkBytes);
    Measure<ResultsLog>("Results box, text lines", false, total, slice);
    Measure<ResultsLog>("Results box, mixed bytes (every byte value)", true, total, slice, grab);
    Measure<TextEditResultsLog>("Baseline: the rich-text box, text lines", false, baseline, MB);
    Measure<TextEditResultsLog>("Baseline: the rich-text box, mixed bytes", true, baseline, MB);
    return 0;
}
