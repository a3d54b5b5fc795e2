#include "UiThreadLoop.h"

#include "MainDialog.h"

#include <algorithm>

void UiThreadLoop::Queue(const std::shared_ptr<Work>& work)
{
    std::lock_guard lock(state->mutex);
    state->queue.push_back(work);
    state->changed.notify_all();
}

void UiThreadLoop::CallAndWait(std::function<void()> run)
{
    const std::shared_ptr<State> shared = state;
    auto work = std::make_shared<Work>();
    work->run = std::move(run);
    Queue(work);
    std::unique_lock lock(shared->mutex);
    shared->changed.wait(lock, [&] { return work->done; });
}

bool UiThreadLoop::RunOne(std::unique_lock<std::mutex>& lock)
{
    if (state->queue.empty())
        return false;
    std::shared_ptr<Work> work = state->queue.front();
    state->queue.pop_front();
    lock.unlock();
    work->run();
    lock.lock();
    work->done = true;
    state->changed.notify_all();
    return true;
}

bool UiThreadLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(state->mutex);
    for (;;) {
        while (RunOne(lock)) {
        }
        lock.unlock();
        const bool finished = done();
        lock.lock();
        if (finished)
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        // Some conditions change on other threads without queueing anything
        // (a simulator's record, a worker's flag): look again now and then.
        state->changed.wait_until(lock, std::min(deadline, now + LookAgain), [&] { return !state->queue.empty(); });
    }
}

void UiThreadLoop::RunFor(std::chrono::milliseconds quiet)
{
    RunUntil([] { return false; }, quiet);
}

void UiThreadLoop::Post(uint32_t message)
{
    auto work = std::make_shared<Work>();
    work->run = [this, message] {
        if (window)
            window->OnSerialNotification(message);
    };
    Queue(work);
}

void UiThreadLoop::SetProgress(int percent)
{
    CallAndWait([this, percent] { window->SetProgress(percent); });
}

bool UiThreadLoop::IsCancelled()
{
    return window->IsCancelled();
}

void UiThreadLoop::ShowStatus(const std::string& text)
{
    CallAndWait([this, &text] { window->ShowStatus(text); });
}

void UiThreadLoop::Finish()
{
    CallAndWait([this] { window->Finish(); });
}
