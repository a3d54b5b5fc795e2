#pragma once

#include "NotifyTarget.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

// Counts the notifications a port posts and lets a test wait for them.
class RecordingTarget : public NotifyTarget {
public:
    void Post(uint32_t message) override
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            ++counts[message];
        }
        changed.notify_all();
    }

    int Count(uint32_t message)
    {
        std::lock_guard<std::mutex> guard(mutex);
        return counts[message];
    }

    // True once at least `atLeast` messages of that kind have been posted.
    bool WaitFor(uint32_t message, int atLeast = 1, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                [&] { return counts[message] >= atLeast; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::map<uint32_t, int> counts;
};
