#include "RetransmissionTimer.h"

#include <algorithm>

namespace {

// RFC 6298's gains: the smoothed round trip moves by an eighth of each error,
// the variation by a quarter.
constexpr int SmoothedShift = 3;
constexpr int VariationShift = 2;
constexpr int VariationFactor = 4;
// Enough doublings to reach the ceiling from the floor; more could overflow.
constexpr int MaxBackoffs = 16;

} // namespace

RetransmissionTimer::Duration RetransmissionTimer::Base() const
{
    if (!measured)
        return Initial;
    return std::clamp(smoothed + std::max(Granularity, VariationFactor * variation), Minimum, Maximum);
}

RetransmissionTimer::Duration RetransmissionTimer::Timeout() const
{
    return std::min(Base() * (Duration::rep{1} << backoffs), Maximum);
}

void RetransmissionTimer::Sample(Duration roundTrip)
{
    roundTrip = std::max(roundTrip, Duration::zero());
    if (!measured) {
        smoothed = roundTrip;
        variation = roundTrip / 2;
        measured = true;
    } else {
        const Duration error = roundTrip > smoothed ? roundTrip - smoothed : smoothed - roundTrip;
        variation += (error - variation) / (1 << VariationShift);
        smoothed += (roundTrip - smoothed) / (1 << SmoothedShift);
    }
    backoffs = 0;
}

void RetransmissionTimer::Backoff()
{
    if (backoffs < MaxBackoffs && Timeout() < Maximum)
        ++backoffs;
}
