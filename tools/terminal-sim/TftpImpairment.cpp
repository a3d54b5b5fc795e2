#include "TftpImpairment.h"

#include <algorithm>
#include <iterator>

namespace {

// A reordered datagram waits for the next one of its direction; when traffic
// stops (the last ACK of a transfer, say) it goes out after this long anyway,
// so reordering never turns into loss.
constexpr auto ReorderHoldLimit = std::chrono::milliseconds(50);

// Draws are made in millionths so that the outcome is the same on every
// standard library: mt19937's output is fixed by the standard, the
// distributions are not.
constexpr uint32_t DrawScale = 1000000;

} // namespace

TftpImpairment::TftpImpairment(Settings settings, uint32_t seed) : settings(settings), random(seed) {}

bool TftpImpairment::Active() const
{
    return settings.lossPercent > 0 || settings.duplicatePercent > 0 || settings.reorderPercent > 0 ||
           settings.delayPercent > 0;
}

bool TftpImpairment::Draw(double percent)
{
    const uint32_t value = static_cast<uint32_t>(random() % DrawScale);
    return value < static_cast<uint32_t>(percent / 100.0 * DrawScale);
}

void TftpImpairment::Queue(Datagram datagram, Clock::time_point due)
{
    pending.push_back(Pending{due, nextOrder++, std::move(datagram)});
}

void TftpImpairment::ReleaseHeld(Clock::time_point now)
{
    for (Datagram& datagram : held)
        Queue(std::move(datagram), now);
    held.clear();
}

void TftpImpairment::Submit(Datagram datagram, Clock::time_point now)
{
    // Always four draws, whatever the outcome, so that one datagram's fate never
    // shifts the fates of those after it.
    const bool lose = Draw(settings.lossPercent);
    const bool duplicate = Draw(settings.duplicatePercent);
    const bool delay = Draw(settings.delayPercent);
    const bool reorder = Draw(settings.reorderPercent);
    if (lose)
        return;

    if (delay) {
        if (duplicate)
            Queue(datagram, now + settings.delay);
        Queue(std::move(datagram), now + settings.delay);
        return;
    }
    if (reorder) {
        if (held.empty())
            heldSince = now;
        // A duplicate overtakes its held original.
        if (duplicate)
            Queue(datagram, now);
        held.push_back(std::move(datagram));
        return;
    }
    if (duplicate)
        Queue(datagram, now);
    Queue(std::move(datagram), now);
    // What was held back goes after this one: that is the reordering.
    ReleaseHeld(now);
}

std::vector<TftpImpairment::Datagram> TftpImpairment::TakeDue(Clock::time_point now)
{
    if (!held.empty() && now - heldSince >= ReorderHoldLimit)
        ReleaseHeld(now);

    std::vector<Pending> due;
    auto firstLater = std::partition(pending.begin(), pending.end(), [now](const Pending& p) { return p.due <= now; });
    std::move(pending.begin(), firstLater, std::back_inserter(due));
    pending.erase(pending.begin(), firstLater);
    std::sort(due.begin(), due.end(),
              [](const Pending& a, const Pending& b) { return a.due != b.due ? a.due < b.due : a.order < b.order; });

    std::vector<Datagram> result;
    result.reserve(due.size());
    for (Pending& p : due)
        result.push_back(std::move(p.datagram));
    return result;
}

std::optional<TftpImpairment::Clock::time_point> TftpImpairment::NextDue() const
{
    std::optional<Clock::time_point> next;
    for (const Pending& p : pending)
        if (!next || p.due < *next)
            next = p.due;
    if (!held.empty()) {
        const auto release = heldSince + ReorderHoldLimit;
        if (!next || release < *next)
            next = release;
    }
    return next;
}
