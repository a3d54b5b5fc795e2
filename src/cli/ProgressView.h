#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "TargetOutcome.h"

// What the operator (or another program) sees of a run of downloads. Workers
// report into it from their threads; every call takes the one lock, so lines
// from different targets never mix. Messages go to `messages` (stderr), the
// summary and JSON lines to `results` (stdout).
class ProgressView {
public:
    enum class Mode {
        Bars,  // a terminal: one line per target with a bar, redrawn in place
        Lines, // not a terminal: each status text on a line of its own
        Json,  // one JSON object per line for every status, progress step and result
        Quiet, // nothing until the summary
    };

    struct Result {
        std::string target;
        TargetOutcome outcome = TargetOutcome::Running;
        std::string text;
        int64_t bytes = 0;
        double seconds = 0;
        double bytesPerSecond = 0; // over the transfer itself, from its first block on
    };

    using Clock = std::chrono::steady_clock;

    ProgressView(Mode mode, std::FILE* messages, std::FILE* results, std::function<void()> targetEnded);

    // Before any worker starts.
    int AddTarget(const std::string& label, int64_t totalBytes);
    void Started(int index);

    // From the workers.
    void Status(int index, const std::string& text);
    void Progress(int index, int percent);
    void Finished(int index, TargetOutcome outcome, const std::string& finalText);

    // From the main thread.
    bool AllFinished() const;
    bool HasBars() const { return mode == Mode::Bars; }
    // A message of the program's own, on the messages stream, above the bars.
    void Note(const std::string& text);
    int Unfinished() const;
    void Redraw();
    // Redraws a last time (bars) and prints the summary table (not in JSON mode,
    // where each result line has already been written).
    void Conclude();
    std::vector<Result> Results() const;

private:
    struct Target {
        std::string label;
        int64_t totalBytes = 0;
        int percent = 0;
        bool progressSeen = false;
        std::string status;
        TargetOutcome outcome = TargetOutcome::Running;
        Clock::time_point started{};
        Clock::time_point lastStatusAt{};
        Clock::time_point transferStarted{};
        Clock::time_point ended{};
    };

    Result ResultOf(const Target& target, Clock::time_point now) const;
    std::string BarLine(const Target& target, Clock::time_point now, size_t width) const;
    void RedrawLocked();
    void PrintSummaryLocked();

    const Mode mode;
    std::FILE* const messages;
    std::FILE* const results;
    const std::function<void()> targetEnded;
    mutable std::mutex mutex;
    std::vector<Target> targets;
    int drawnLines = 0;
};
