#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include "DownloadReporter.h"
#include "ProgressView.h"

// The command line's DownloadReporter: one per target. The worker's calls go
// straight to the view (no user-interface thread to hand them to); Cancel is
// the run's SIGINT/SIGTERM flag or this target's own time-out.
class CliReporter : public DownloadReporter {
public:
    // The text both jobs end a completed transfer with.
    static constexpr const char* FinishedText = "Download is finished.";

    CliReporter(ProgressView& view, int index, const std::atomic<bool>& cancelAll, double timeoutSeconds);

    void SetProgress(int percent) override;
    bool IsCancelled() override;
    void ShowStatus(const std::string& text) override;
    void Finish() override;

    // From the main thread: the target's time is up. Its worker sees a cancel;
    // the text it then ends with is replaced by TimeoutText.
    void StopForTimeout();
    std::string TimeoutText() const;

    // Called in Finish with the outcome and the final text, before the view
    // hears that the target ended. Set before the worker starts.
    using FinishHook = std::function<void(TargetOutcome outcome, const std::string& finalText)>;
    void SetFinishHook(FinishHook hook) { finishHook = std::move(hook); }

private:
    ProgressView& view;
    const int index;
    const std::atomic<bool>& cancelAll;
    const double timeoutSeconds;
    std::atomic<bool> timedOut{false};
    FinishHook finishHook;

    // Worker thread only.
    std::string lastText;
    bool lastAfterTimeout = false;
    bool lastAfterCancel = false;
};
