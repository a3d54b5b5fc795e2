#pragma once

#include "TransferEstimate.h"

#include <windows.h>

#include <string>

// The one progress dialog of both transports (dialog 203): a status line, a
// bar, the rate and time left under it, and Cancel, which sends message 1536
// to the owner (the main window's behaviour keeps the cancel flag). Created
// hidden with the main window and reused for every download; only ever
// hidden, never ended.
class ProgressWindow {
public:
    bool Create(HINSTANCE instance, HWND owner);
    HWND Window() const { return window; }

    void OnCancelButton();
    // Over the owner: centred across, three tenths of the way down the free
    // height, at the top, with the caption given and an empty status line.
    void ShowOver(HWND owner, const std::string& caption);
    // A download of `totalBytes` is about to start: the rate line goes blank
    // until the worker's first progress report.
    void BeginTransfer(int64_t totalBytes);
    // The worker's progress, on the user-interface thread: the bar, and the
    // figures of the rate line.
    void SetProgress(int percent);
    void ShowStatus(const std::string& text);
    std::string RateText() const;

    // A few times a second is as often as a person can read figures, and the
    // rate and time left go on moving while the line stalls between reports.
    static constexpr UINT RateRefreshMs = 250;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void ShowRate();

    HWND window = nullptr;
    TransferEstimate estimate;
};
