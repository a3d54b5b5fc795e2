#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "DownloadReporter.h"

// A DownloadReporter that records every call in order, lets the test cancel, and
// can hold the worker inside ShowStatus until the test lets it go.
class RecordingReporter : public DownloadReporter {
public:
    struct Call {
        enum Kind { Progress, Status, Finish } kind;
        int percent = 0;
        std::string text;
    };

    void SetProgress(int percent) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back({Call::Progress, percent, {}});
        changed.notify_all();
    }

    bool IsCancelled() override
    {
        cancelChecks.fetch_add(1, std::memory_order_relaxed);
        return cancelled.load(std::memory_order_acquire);
    }

    void ShowStatus(const std::string& text) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        calls.push_back({Call::Status, 0, text});
        changed.notify_all();
        changed.wait(lock, [this] { return !holdStatus; });
    }

    void Finish() override
    {
        std::function<void()> hook;
        {
            std::lock_guard<std::mutex> lock(mutex);
            hook = onFinish;
        }
        if (hook)
            hook();
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back({Call::Finish, 0, {}});
        ++finishCount;
        changed.notify_all();
    }

    void Cancel() { cancelled.store(true, std::memory_order_release); }

    // Runs on the worker thread at the start of Finish.
    void OnFinish(std::function<void()> hook)
    {
        std::lock_guard<std::mutex> lock(mutex);
        onFinish = std::move(hook);
    }

    void HoldStatus(bool hold)
    {
        std::lock_guard<std::mutex> lock(mutex);
        holdStatus = hold;
        changed.notify_all();
    }

    bool WaitForFinish(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [this] { return finishCount > 0; });
    }

    // Waits for a status with this text, or for any status when text is empty.
    bool WaitForStatus(const std::string& text, std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] {
            for (const Call& call : calls)
                if (call.kind == Call::Status && (text.empty() || call.text == text))
                    return true;
            return false;
        });
    }

    std::vector<Call> Calls() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }

    std::vector<std::string> Statuses() const
    {
        std::vector<std::string> texts;
        for (const Call& call : Calls())
            if (call.kind == Call::Status)
                texts.push_back(call.text);
        return texts;
    }

    std::vector<int> Progress() const
    {
        std::vector<int> values;
        for (const Call& call : Calls())
            if (call.kind == Call::Progress)
                values.push_back(call.percent);
        return values;
    }

    // The status shown just before Finish, or "" when none.
    std::string FinalStatus() const
    {
        const std::vector<std::string> texts = Statuses();
        return texts.empty() ? std::string() : texts.back();
    }

    int FinishCount() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return finishCount;
    }

    int CancelChecks() const { return cancelChecks.load(std::memory_order_relaxed); }

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<Call> calls;
    std::function<void()> onFinish;
    bool holdStatus = false;
    int finishCount = 0;
    std::atomic<bool> cancelled{false};
    std::atomic<int> cancelChecks{0};
};
