#pragma once

#include "DownloadReporter.h"
#include "NotifyTarget.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class MainDialog;

// The test's thread as the window's user-interface thread: a serial port's
// notifications and a download worker's reports queue up here, and run on the
// test's thread while it waits in RunUntil. A worker's report blocks until it
// has run, as the program's reporters do.
class UiThreadLoop : public NotifyTarget, public DownloadReporter {
public:
    void Attach(MainDialog* target) { window = target; }

    // Runs queued work until `done` holds; false when it still does not after `limit`.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // Runs what is queued now, and what arrives within `quiet`.
    void RunFor(std::chrono::milliseconds quiet);

    void Post(uint32_t message) override;
    void SetProgress(int percent) override;
    bool IsCancelled() override;
    void ShowStatus(const std::string& text) override;
    void Finish() override;

private:
    struct Work {
        std::function<void()> run;
        bool done = false;
    };
    // Shared with every caller that waits, so that a worker that returns from
    // its last report after the test has ended still finds its lock.
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::shared_ptr<Work>> queue;
    };
    void Queue(const std::shared_ptr<Work>& work);
    void CallAndWait(std::function<void()> run);
    bool RunOne(std::unique_lock<std::mutex>& lock);

    static constexpr std::chrono::milliseconds LookAgain{10};

    MainDialog* window = nullptr;
    std::shared_ptr<State> state = std::make_shared<State>();
};
