#pragma once

#include <cstdint>

// Turns bytes sent into progress-bar positions: at most one report per block, and
// the bar moves only once the running percentage is more than one ahead of it.
class ProgressMeter {
public:
    explicit ProgressMeter(int64_t totalBytes);

    // Counts a block of n bytes; returns the percentage to report, or -1 for none.
    int Advance(int64_t n);

private:
    int64_t total;
    float accumulated = 0.0f; // running percentage
    int last = 0;             // the running percentage when the bar last moved
};
