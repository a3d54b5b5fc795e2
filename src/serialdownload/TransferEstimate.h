#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

// How far a download has come, how fast it goes and how long it has left,
// worked out from the progress percentages a worker reports and when they came.
// The rate is that of the last RateWindow: the time spent finding the terminal
// before the first block does not count against it, and the burst with which a
// device's buffer takes the first blocks stops counting for it in the end.
// Used by one thread.
class TransferEstimate {
public:
    using Clock = std::chrono::steady_clock;

    // A new download of `totalBytes` (0 when its size is unknown).
    void Start(int64_t totalBytes);
    // A progress report of the worker, in percent of the total.
    void Progress(int percent, Clock::time_point now);

    bool Begun() const { return begun; }
    int64_t BytesSent() const { return sent; }
    // Bytes a second over the last RateWindow; 0 until the reports span enough
    // time to tell.
    double BytesPerSecond(Clock::time_point now) const;
    // Seconds until the rest has gone at that rate; negative when unknown.
    double SecondsLeft(Clock::time_point now) const;

    // One line for a person: "12.3 kB of 49.2 kB, 11.5 kB/s, 0:03 left". Empty
    // until the first report; the rate and time left once they are known.
    std::string Text(Clock::time_point now) const;

    // `bytes` in the unit that suits `scale` (the total), so that both numbers
    // of a line read alike.
    static std::string SizeText(int64_t bytes, int64_t scale);
    static std::string RateText(double bytesPerSecond);
    static std::string DurationText(double seconds); // "m:ss"

    // Long enough to span several of the bursts that a terminal's XON/XOFF makes
    // of a line (about one every two seconds while it writes flash), so that the
    // figure holds still; short enough to follow a line that changes pace.
    static constexpr std::chrono::seconds RateWindow{10};

private:
    struct Sample {
        Clock::time_point at;
        int64_t sent;
    };
    // The sample the rate at `now` is measured from: the last one at least a
    // window old, else the first.
    const Sample& Anchor(Clock::time_point now) const;

    int64_t total = 0;
    int64_t sent = 0;
    bool begun = false;
    std::deque<Sample> samples; // oldest first; only what a window needs
};
