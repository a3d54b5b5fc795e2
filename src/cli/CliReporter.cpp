#include "CliReporter.h"

#include <cstdio>

CliReporter::CliReporter(ProgressView& view, int index, const std::atomic<bool>& cancelAll, double timeoutSeconds)
    : view(view), index(index), cancelAll(cancelAll), timeoutSeconds(timeoutSeconds)
{
}

void CliReporter::SetProgress(int percent)
{
    view.Progress(index, percent);
}

bool CliReporter::IsCancelled()
{
    return cancelAll.load(std::memory_order_acquire) || timedOut.load(std::memory_order_acquire);
}

void CliReporter::ShowStatus(const std::string& text)
{
    lastText = text;
    lastAfterTimeout = timedOut.load(std::memory_order_acquire);
    lastAfterCancel = cancelAll.load(std::memory_order_acquire);
    // Once the time is up the worker only says that it was cancelled, which
    // nobody did: that text waits for Finish, where the time-out replaces it.
    if (!lastAfterTimeout)
        view.Status(index, text);
}

void CliReporter::Finish()
{
    TargetOutcome outcome = TargetOutcome::Failed;
    std::string finalText = lastText;
    if (lastText == FinishedText) {
        outcome = TargetOutcome::Finished;
        if (lastAfterTimeout)
            view.Status(index, lastText);
    } else if (lastAfterTimeout) {
        outcome = TargetOutcome::TimedOut;
        finalText = TimeoutText();
        view.Status(index, finalText);
    } else if (lastAfterCancel) {
        outcome = TargetOutcome::Cancelled;
    }
    if (finishHook)
        finishHook(outcome, finalText);
    view.Finished(index, outcome, finalText);
}

void CliReporter::StopForTimeout()
{
    timedOut.store(true, std::memory_order_release);
}

std::string CliReporter::TimeoutText() const
{
    char text[128];
    std::snprintf(text, sizeof text, "Not finished within %g %s (--timeout): the download was stopped.",
                  timeoutSeconds, timeoutSeconds == 1 ? "second" : "seconds");
    return text;
}
