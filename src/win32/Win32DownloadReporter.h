#pragma once

#include "DownloadReporter.h"

#include <windows.h>

class MainDialog;

// Carries a download worker's reports to the main window's behaviour on the
// user-interface thread: each is sent (SendMessageA) to the main window, whose
// procedure hands it to Deliver, and the worker waits until it is carried out,
// so the reports appear in order. IsCancelled only reads the flag. Lives as
// long as the main window; the window outlives every worker it starts by
// refusing to end while a download runs.
class Win32DownloadReporter : public DownloadReporter {
public:
    // The message the main window's procedure passes to Deliver.
    static constexpr UINT ReportMessage = WM_APP + 1;

    void Attach(HWND mainWindow, MainDialog* behaviour);

    void SetProgress(int percent) override;
    bool IsCancelled() override;
    void ShowStatus(const std::string& text) override;
    void Finish() override;

    // On the user-interface thread, for ReportMessage.
    static void Deliver(MainDialog& behaviour, WPARAM wParam, LPARAM lParam);

private:
    enum Report : WPARAM { Progress = 1, Status, Finished };

    HWND window = nullptr;
    MainDialog* behaviour = nullptr;
};
