#pragma once

#include <atomic>
#include <cstdint>

// SIGINT and SIGTERM as events the main thread waits for, beside the wake-ups
// that workers send when a target ends. The signals are blocked in every thread
// (Install runs before any thread exists, and threads inherit the mask) and read
// from a signalfd, so no handler runs at an awkward moment and no wait can miss one.
// On Windows, Ctrl-C, Ctrl-Break and the closing of the console window play the
// part of the signals (RunSignalsWin32.cpp).
class RunSignals {
public:
    enum class Event {
        TimeUp, // the wait's time ran out
        Signal, // SIGINT or SIGTERM arrived (see SignalCount)
        Woken,  // Wake was called
        Failed, // the wait itself failed; treat as time up after a pause
    };

    RunSignals() = default;
    ~RunSignals();
    RunSignals(const RunSignals&) = delete;
    RunSignals& operator=(const RunSignals&) = delete;

    // Blocks the signals and creates the descriptors; false when that failed.
    bool Install();
    // From any thread; never blocks.
    void Wake();
    // Waits at most timeoutMs (negative: until something happens). A signal
    // wins over a wake-up that arrived at the same time.
    Event Wait(int timeoutMs);
    int SignalCount() const { return signals.load(std::memory_order_acquire); }

private:
    // Descriptors (signalfd, eventfd) or event handles; -1 when none.
    intptr_t signalFd = -1;
    intptr_t wakeFd = -1;
    std::atomic<int> signals{0};
};
