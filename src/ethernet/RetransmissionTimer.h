#pragma once

#include <chrono>

// When to send a DATA packet again. A unit that handles one datagram at a time
// pays for every copy as for the original, so a copy goes out only once the
// acknowledgement is overdue by what this unit has shown of its round trip: the
// smoothed round trip plus four times its variation (the TCP rule of RFC 6298),
// kept between a floor and a ceiling, and doubled after each unanswered resend.
//
// Only round trips of packets sent once are measured: the acknowledgement of a
// resent packet may answer any of its copies. The doubled wait is therefore kept
// for the packets that follow until one of them is answered without a copy
// (Karn's rule); were it dropped at each new packet, a unit slower than the
// current wait would get a copy of every block and never be measured.
class RetransmissionTimer {
public:
    using Duration = std::chrono::nanoseconds;

    // Before any round trip is known: the request phase's own cadence.
    static constexpr Duration Initial = std::chrono::milliseconds(100);
    // A LAN answers within well under a millisecond; below this a scheduling
    // hiccup of either side would pass for a loss.
    static constexpr Duration Minimum = std::chrono::milliseconds(2);
    // A unit erasing flash may fall silent for a while; one copy a second keeps
    // the transfer alive without crowding it.
    static constexpr Duration Maximum = std::chrono::seconds(1);
    // The least margin over the smoothed round trip: a unit whose answers come
    // at a steady pace has almost no variation, and the wake-ups of a loaded
    // machine are not that steady.
    static constexpr Duration Granularity = std::chrono::milliseconds(1);

    // How long to wait for the acknowledgement of the packet just sent.
    Duration Timeout() const;
    // A packet sent once was acknowledged after `roundTrip`.
    void Sample(Duration roundTrip);
    // The acknowledgement is overdue: the packet goes again, and is waited for twice as long.
    void Backoff();

private:
    Duration Base() const;

    bool measured = false;
    Duration smoothed{0};
    Duration variation{0};
    int backoffs = 0;
};
