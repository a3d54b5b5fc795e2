#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

// Mistreats the datagrams of one direction as a poor network would: loses,
// duplicates, delays and reorders them. Loopback does none of that and the
// kernel here has no netem, so the simulated unit does it itself. The fates are
// drawn from a seeded generator, four draws per datagram, so the n-th datagram
// of a direction always meets the same fate for a given seed.
class TftpImpairment {
public:
    using Clock = std::chrono::steady_clock;

    struct Settings {
        double lossPercent = 0;
        double duplicatePercent = 0;
        double reorderPercent = 0; // held back until the next datagram has passed
        double delayPercent = 0;   // held back for `delay`
        std::chrono::milliseconds delay{0};
    };

    struct Datagram {
        std::vector<uint8_t> bytes;
        sockaddr_in peer{};
        uint64_t channel = 0; // which socket of the server it came in on or goes out from
    };

    TftpImpairment(Settings settings, uint32_t seed);

    // True when any datagram can be treated other than passed straight on.
    bool Active() const;

    void Submit(Datagram datagram, Clock::time_point now);
    // The datagrams due by `now`, in the order they are to be handled.
    std::vector<Datagram> TakeDue(Clock::time_point now);
    // When the next held datagram falls due; none when nothing is held.
    std::optional<Clock::time_point> NextDue() const;

private:
    struct Pending {
        Clock::time_point due;
        uint64_t order;
        Datagram datagram;
    };

    bool Draw(double percent);
    void Queue(Datagram datagram, Clock::time_point due);
    void ReleaseHeld(Clock::time_point now);

    Settings settings;
    std::mt19937 random;
    std::vector<Pending> pending;
    std::vector<Datagram> held;
    Clock::time_point heldSince;
    uint64_t nextOrder = 0;
};
