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
        // The rate line moves only while someone can see it (ShowOver starts it).
        if (!wParam)
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
    ::SendMessageA(::GetWindow(window, GW_OWNER), SerialPageWindow::ReopenPortMessage, 0, 0);
}

void ProgressWindow::ShowOver(HWND owner, const std::string& caption)
{
    RECT main{};
    RECT own{};
    ::GetWindowRect(owner, &main);
    ::GetWindowRect(window, &own);
    const int left = main.left + static_cast<int>(0.5 * ((main.right - main.left) - (own.right - own.left)));
    const int top = main.top + static_cast<int>(0.3 * ((main.bottom - main.top) - (own.bottom - own.top)));
    ::SetWindowPos(window, HWND_TOP, left, top, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    ::SetWindowTextA(window, caption.c_str());
    ::SetDlgItemTextA(window, IDC_PROGRESS_STATUS, "");
    ::ShowWindow(window, SW_SHOW);
    // Here rather than on WM_SHOWWINDOW, which SWP_SHOWWINDOW does not send.
    ::SetTimer(window, RateTimer, RateRefreshMs, nullptr);
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
