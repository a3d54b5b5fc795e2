#pragma once

#include "DownloadReporter.h"

class MainDialog;

// Drives the progress dialog for a download worker. Each call is carried out on
// the UI thread before it returns, so the worker's reports appear in order.
// Lives as long as the main window; the window outlives every worker it starts
// only by staying disabled, so the reporter must not be destroyed while a worker
// runs (the window keeps it until the process ends).
class QtDownloadReporter : public DownloadReporter {
public:
    explicit QtDownloadReporter(MainDialog& window) : window(window) {}

    void SetProgress(int percent) override;
    bool IsCancelled() override;
    void ShowStatus(const std::string& text) override;
    void Finish() override;

private:
    MainDialog& window;
};
