#include "EthernetPageWindow.h"

#include "ResourceIds.h"

#include <commctrl.h>

bool EthernetPageWindow::Create(HINSTANCE instance, HWND parent)
{
    window = ::CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_ETHERNET_PAGE), parent,
                                  &EthernetPageWindow::Procedure, 0);
    return window != nullptr;
}

INT_PTR CALLBACK EthernetPageWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_IP_HISTORY && HIWORD(wParam) == CBN_SELCHANGE) {
        ::SendMessageA(::GetParent(window), WM_COMMAND, wParam, lParam);
        return TRUE;
    }
    return FALSE;
}

void EthernetPageWindow::ShowHistory(const std::vector<std::string>& rows)
{
    HWND list = ::GetDlgItem(window, IDC_IP_HISTORY);
    ::SendMessageA(list, CB_RESETCONTENT, 0, 0);
    for (const std::string& row : rows)
        ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
}

void EthernetPageWindow::SetAddress(const std::array<uint8_t, 4>& bytes)
{
    ::SendDlgItemMessageA(window, IDC_IP_ADDRESS, IPM_SETADDRESS, 0,
                          static_cast<LPARAM>(MAKEIPADDRESS(bytes[0], bytes[1], bytes[2], bytes[3])));
}

std::array<uint8_t, 4> EthernetPageWindow::Address() const
{
    DWORD packed = 0;
    ::SendDlgItemMessageA(window, IDC_IP_ADDRESS, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&packed));
    return {static_cast<uint8_t>(FIRST_IPADDRESS(packed)), static_cast<uint8_t>(SECOND_IPADDRESS(packed)),
            static_cast<uint8_t>(THIRD_IPADDRESS(packed)), static_cast<uint8_t>(FOURTH_IPADDRESS(packed))};
}
