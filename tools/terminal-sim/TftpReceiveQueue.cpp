#include "TftpReceiveQueue.h"

#include <algorithm>

TftpReceiveQueue::TftpReceiveQueue(Clock::duration cost, size_t capacity) : cost(cost), capacity(capacity) {}

bool TftpReceiveQueue::Active() const
{
    return cost > Clock::duration::zero() || capacity > 0;
}

bool TftpReceiveQueue::Arrive(TftpImpairment::Datagram datagram, Clock::time_point now)
{
    if (capacity > 0 && waiting.size() >= capacity)
        return false;
    waiting.push_back(Waiting{now, std::move(datagram)});
    return true;
}

std::optional<TftpImpairment::Datagram> TftpReceiveQueue::Take(Clock::time_point now)
{
    if (waiting.empty() || now < freeAt)
        return std::nullopt;
    Waiting next = std::move(waiting.front());
    waiting.pop_front();
    freeAt = std::max(freeAt, next.arrived) + cost;
    return std::move(next.datagram);
}

std::optional<TftpReceiveQueue::Clock::time_point> TftpReceiveQueue::NextDue() const
{
    if (waiting.empty())
        return std::nullopt;
    return std::max(freeAt, waiting.front().arrived);
}
