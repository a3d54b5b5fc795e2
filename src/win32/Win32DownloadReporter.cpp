#include "Win32DownloadReporter.h"

#include "MainDialog.h"

#include <string>

void Win32DownloadReporter::Attach(HWND mainWindow, MainDialog* target)
{
    window = mainWindow;
    behaviour = target;
}

void Win32DownloadReporter::SetProgress(int percent)
{
    ::SendMessageA(window, ReportMessage, Progress, static_cast<LPARAM>(percent));
}

bool Win32DownloadReporter::IsCancelled()
{
    return behaviour && behaviour->IsCancelled();
}

void Win32DownloadReporter::ShowStatus(const std::string& text)
{
    // The text stays where it is until the window has shown it: the call waits.
    ::SendMessageA(window, ReportMessage, Status, reinterpret_cast<LPARAM>(&text));
}

void Win32DownloadReporter::Finish()
{
    ::SendMessageA(window, ReportMessage, Finished, 0);
}

void Win32DownloadReporter::Deliver(MainDialog& target, WPARAM wParam, LPARAM lParam)
{
    switch (wParam) {
    case Progress: target.SetProgress(static_cast<int>(lParam)); break;
    case Status: target.ShowStatus(*reinterpret_cast<const std::string*>(lParam)); break;
    case Finished: target.Finish(); break;
    default: break;
    }
}
