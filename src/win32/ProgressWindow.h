#pragma once

#include <windows.h>

#include <atomic>
#include <string>

// The one progress dialog of both transports (dialog 203): a status line, a
// bar, the rate and time left under it, and Cancel. Created hidden with the
// main window and reused for every download; only ever hidden, never ended.
class ProgressWindow {
public:
    bool Create(HINSTANCE instance, HWND owner);
    HWND Window() const { return window; }

    void OnCancelButton();
    void SetProgress(int percent);
    void ShowStatus(const std::string& text);
    void ShowDetail(const std::string& text);

    // Set by Cancel on the user-interface thread, polled by the worker,
    // cleared by Finish.
    std::atomic<bool> cancelRequested{false};

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window = nullptr;
};
