#include "SerialPageWindow.h"

#include "ResourceIds.h"

const std::vector<std::string>& SerialPageWindow::BaudRates()
{
    static const std::vector<std::string> rates = {"115200", "57600", "38400", "19200", "14400",
                                                   "9600",   "4800",  "2400",  "1200",  "600"};
    return rates;
}

const std::vector<std::string>& SerialPageWindow::DataFormats()
{
    static const std::vector<std::string> formats = {"8n1", "8n2", "8o1", "8o2", "8e1", "8e2"};
    return formats;
}

bool SerialPageWindow::Create(HINSTANCE instance, HWND parent)
{
    window = ::CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_SERIAL_PAGE), parent, &SerialPageWindow::Procedure,
                                  reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

INT_PTR CALLBACK SerialPageWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        // The fixed lists first, then the data exchange: with both indices at
        // -1 the lists start without a selection.
        for (const std::string& rate : BaudRates())
            ::SendDlgItemMessageA(window, IDC_BAUD_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rate.c_str()));
        for (const std::string& format : DataFormats())
            ::SendDlgItemMessageA(window, IDC_FORMAT_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(format.c_str()));
        return TRUE;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == CBN_SELCHANGE &&
            (LOWORD(wParam) == IDC_PORT_LIST || LOWORD(wParam) == IDC_BAUD_LIST || LOWORD(wParam) == IDC_FORMAT_LIST)) {
            ::SendMessageA(::GetParent(window), ReopenPortMessage, 0, 0);
            return TRUE;
        }
        // The page's buttons are the main window's commands.
        if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDC_XMIT || LOWORD(wParam) == IDC_INDUCE)) {
            ::SendMessageA(::GetParent(window), WM_COMMAND, wParam, 0);
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

void SerialPageWindow::FillPorts(const std::vector<std::string>& ports)
{
    ::SendDlgItemMessageA(window, IDC_PORT_LIST, CB_RESETCONTENT, 0, 0);
    for (const std::string& port : ports)
        ::SendDlgItemMessageA(window, IDC_PORT_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port.c_str()));
}

void SerialPageWindow::SelectStored(int listId, const std::string& text)
{
    // The list's own prefix search, started after item 0, is exactly the rule.
    ::SendDlgItemMessageA(window, listId, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void SerialPageWindow::ReadControls()
{
    baudIndex = static_cast<int>(::SendDlgItemMessageA(window, IDC_BAUD_LIST, CB_GETCURSEL, 0, 0));
    formatIndex = static_cast<int>(::SendDlgItemMessageA(window, IDC_FORMAT_LIST, CB_GETCURSEL, 0, 0));
}

void SerialPageWindow::WriteControls()
{
    ::SendDlgItemMessageA(window, IDC_BAUD_LIST, CB_SETCURSEL, static_cast<WPARAM>(baudIndex), 0);
    ::SendDlgItemMessageA(window, IDC_FORMAT_LIST, CB_SETCURSEL, static_cast<WPARAM>(formatIndex), 0);
}

std::string SerialPageWindow::ListText(int listId) const
{
    HWND list = ::GetDlgItem(window, listId);
    int index = static_cast<int>(::SendMessageA(list, CB_GETCURSEL, 0, 0));
    if (index < 0)
        return std::string();
    int length = static_cast<int>(::SendMessageA(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0));
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    ::SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

std::string SerialPageWindow::PortText() const { return ListText(IDC_PORT_LIST); }
std::string SerialPageWindow::BaudText() const { return ListText(IDC_BAUD_LIST); }
std::string SerialPageWindow::FormatText() const { return ListText(IDC_FORMAT_LIST); }
