#pragma once

#include "DownloadReporter.h"

class QtMainDialog;

// Carries a download worker's reports onto the UI thread, to the main window's
// behaviour, and waits until each is carried out, so they appear in order.
// Lives as long as the main window; the window outlives every worker it starts
// only by staying disabled, so the reporter must not be destroyed while a worker
// runs (the window keeps it until the process ends).
class QtDownloadReporter : public DownloadReporter {
public:
    explicit QtDownloadReporter(QtMainDialog& window) : window(window) {}

    void SetProgress(int percent) override;
    bool IsCancelled() override;
    void ShowStatus(const std::string& text) override;
    void Finish() override;

private:
    QtMainDialog& window;
};
