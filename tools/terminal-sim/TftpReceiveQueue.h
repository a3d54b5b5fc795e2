#pragma once

#include "TftpImpairment.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

// The pace of a small unit's network stack: it takes one datagram at a time and
// answers it at once, then spends `cost` on it (writing a block to flash) before
// it takes the next. Datagrams that arrive meanwhile wait in its few receive
// buffers; beyond `capacity` of them they are dropped, as the unit's network
// interface drops what it has no buffer for.
//
// Times are those of the model, not of the thread that runs it: a datagram that
// waited is taken when the previous one's cost ran out, however late the thread
// wakes, so a slow wake-up never adds to the unit's pace.
class TftpReceiveQueue {
public:
    using Clock = std::chrono::steady_clock;

    // capacity 0: no bound.
    TftpReceiveQueue(Clock::duration cost, size_t capacity);

    // True when the unit has a pace at all; otherwise datagrams go straight on.
    bool Active() const;
    // False when there was no room and the datagram was dropped.
    bool Arrive(TftpImpairment::Datagram datagram, Clock::time_point now);
    // The next datagram the unit takes by `now`, if it is free by then.
    std::optional<TftpImpairment::Datagram> Take(Clock::time_point now);
    // When the next waiting datagram can be taken; none when none waits.
    std::optional<Clock::time_point> NextDue() const;
    bool Empty() const { return waiting.empty(); }

private:
    struct Waiting {
        Clock::time_point arrived;
        TftpImpairment::Datagram datagram;
    };

    Clock::duration cost;
    size_t capacity;
    std::deque<Waiting> waiting;
    Clock::time_point freeAt{}; // when the unit is done with the datagram taken last
};
