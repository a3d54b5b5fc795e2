#include "EthernetPageWindow.h"

#include "AppSettings.h"
#include "ResourceIds.h"

#include <commctrl.h>

bool EthernetPageWindow::Create(HINSTANCE instance, HWND parent)
{
    window = ::CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_ETHERNET_PAGE), parent,
                                  &EthernetPageWindow::Procedure, reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

INT_PTR CALLBACK EthernetPageWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        auto* page = reinterpret_cast<EthernetPageWindow*>(lParam);
        page->window = window;
        page->FillRecentAddresses();
        return TRUE;
    }
    auto* page = reinterpret_cast<EthernetPageWindow*>(::GetWindowLongPtrA(window, DWLP_USER));
    if (page && message == WM_COMMAND && LOWORD(wParam) == IDC_IP_HISTORY && HIWORD(wParam) == CBN_SELCHANGE) {
        page->OnRecentAddressSelected();
        return TRUE;
    }
    return FALSE;
}

void EthernetPageWindow::FillRecentAddresses()
{
    HWND list = ::GetDlgItem(window, IDC_IP_HISTORY);
    ::SendMessageA(list, CB_RESETCONTENT, 0, 0);
    for (const std::string* address : {&settings.ip1, &settings.ip2, &settings.ip3, &settings.ip4})
        ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(address->c_str()));
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

void EthernetPageWindow::OnRecentAddressSelected()
{
    HWND list = ::GetDlgItem(window, IDC_IP_HISTORY);
    int index = static_cast<int>(::SendMessageA(list, CB_GETCURSEL, 0, 0));
    if (index < 0)
        return;
    int length = static_cast<int>(::SendMessageA(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0));
    std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    ::SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length > 0 ? length : 0));
    SetAddress(AppSettings::ParseDottedAddress(text));
    addressText = text;
}
