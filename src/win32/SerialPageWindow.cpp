#include "SerialPageWindow.h"

#include "ResourceIds.h"

bool SerialPageWindow::Create(HINSTANCE instance, HWND parent)
{
    window = ::CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_SERIAL_PAGE), parent, &SerialPageWindow::Procedure, 0);
    return window != nullptr;
}

int SerialPageWindow::ControlId(SerialList list)
{
    switch (list) {
    case SerialList::Port: return IDC_PORT_LIST;
    case SerialList::Baud: return IDC_BAUD_LIST;
    case SerialList::Format: return IDC_FORMAT_LIST;
    }
    return 0;
}

bool SerialPageWindow::ListOf(int controlId, SerialList& list)
{
    switch (controlId) {
    case IDC_PORT_LIST: list = SerialList::Port; return true;
    case IDC_BAUD_LIST: list = SerialList::Baud; return true;
    case IDC_FORMAT_LIST: list = SerialList::Format; return true;
    default: return false;
    }
}

INT_PTR CALLBACK SerialPageWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message != WM_COMMAND)
        return FALSE;
    SerialList list;
    HWND parent = ::GetParent(window);
    if (ListOf(LOWORD(wParam), list) && HIWORD(wParam) == CBN_SELCHANGE) {
        // Selections made by the program raise no CBN_SELCHANGE: this is the operator.
        ::SendMessageA(parent, ReopenPortMessage, LOWORD(wParam), 0);
        return TRUE;
    }
    // The port list is brought up to date as it opens; the buttons are the main window's.
    if ((LOWORD(wParam) == IDC_PORT_LIST && HIWORD(wParam) == CBN_DROPDOWN) ||
        (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDC_XMIT || LOWORD(wParam) == IDC_INDUCE))) {
        ::SendMessageA(parent, WM_COMMAND, wParam, lParam);
        return TRUE;
    }
    return FALSE;
}

void SerialPageWindow::ShowList(SerialList list, const std::vector<std::string>& items, int selected)
{
    HWND control = ::GetDlgItem(window, ControlId(list));
    ::SendMessageA(control, WM_SETREDRAW, FALSE, 0);
    ::SendMessageA(control, CB_RESETCONTENT, 0, 0);
    // Inserted by index, which a sorted list leaves where it is put: the
    // behaviour's order and indices are the list's.
    for (size_t i = 0; i < items.size(); ++i)
        ::SendMessageA(control, CB_INSERTSTRING, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(items[i].c_str()));
    ::SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    ::SendMessageA(control, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(control, nullptr, TRUE);
}

void SerialPageWindow::Select(SerialList list, int index)
{
    ::SendDlgItemMessageA(window, ControlId(list), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int SerialPageWindow::Selection(SerialList list) const
{
    return static_cast<int>(::SendDlgItemMessageA(window, ControlId(list), CB_GETCURSEL, 0, 0));
}

std::string SerialPageWindow::TransmitText() const
{
    HWND edit = ::GetDlgItem(window, IDC_XMIT_TEXT);
    const int length = ::GetWindowTextLengthA(edit);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    ::GetWindowTextA(edit, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}
