#include "ProgressWindow.h"

#include "ResourceIds.h"
#include "SerialPageWindow.h"

#include <commctrl.h>

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
    // Cancel, and so also Esc.
    if (progress && message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
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

void ProgressWindow::SetProgress(int percent)
{
    ::SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void ProgressWindow::ShowStatus(const std::string& text)
{
    ::SetDlgItemTextA(window, IDC_PROGRESS_STATUS, text.c_str());
}

void ProgressWindow::ShowDetail(const std::string& text)
{
    ::SetDlgItemTextA(window, IDC_PROGRESS_DETAIL, text.c_str());
}
