#include "ProgressWindow.h"

#include "ResourceIds.h"
#include "SerialPageWindow.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR RateTimer = 1;

} // namespace

bool ProgressWindow::Create(HINSTANCE instance, HWND owner)
{
    window = ::CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), owner, &ProgressWindow::Procedure,
                                  reinterpret_cast<LPARAM>(this));
    if (window)
        ::ShowWindow(window, SW_HIDE);
    return window != nullptr;
}

INT_PTR CALLBACK ProgressWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        ::SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        ::SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
        return TRUE;
    }
    auto* progress = reinterpret_cast<ProgressWindow*>(::GetWindowLongPtrA(window, DWLP_USER));
    if (!progress)
        return FALSE;
    if (message == WM_SHOWWINDOW) {
        // The rate line moves only while someone can see it.
        if (wParam)
            ::SetTimer(window, RateTimer, RateRefreshMs, nullptr);
        else
            ::KillTimer(window, RateTimer);
        return FALSE;
    }
    if (message == WM_TIMER && wParam == RateTimer) {
        progress->ShowRate();
        return TRUE;
    }
    // Cancel, and so also Esc.
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        progress->OnCancelButton();
        return TRUE;
    }
    return FALSE;
}

void ProgressWindow::OnCancelButton()
{
    cancelRequested.store(true, std::memory_order_release);
    ::ShowWindow(window, SW_HIDE);
    ::SendMessageA(::GetWindow(window, GW_OWNER), SerialPageWindow::ReopenPortMessage, 0, 0);
}

void ProgressWindow::BeginTransfer(int64_t totalBytes)
{
    estimate.Start(totalBytes);
    ::SetDlgItemTextA(window, IDC_PROGRESS_DETAIL, "");
}

void ProgressWindow::SetProgress(int percent)
{
    ::SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    estimate.Progress(percent, TransferEstimate::Clock::now());
}

std::string ProgressWindow::RateText() const
{
    char text[128] = "";
    ::GetDlgItemTextA(window, IDC_PROGRESS_DETAIL, text, sizeof(text));
    return text;
}

void ProgressWindow::ShowRate()
{
    const std::string text = estimate.Text(TransferEstimate::Clock::now());
    if (text != RateText())
        ::SetDlgItemTextA(window, IDC_PROGRESS_DETAIL, text.c_str());
}

void ProgressWindow::ShowStatus(const std::string& text)
{
    ::SetDlgItemTextA(window, IDC_PROGRESS_STATUS, text.c_str());
}
