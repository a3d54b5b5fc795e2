#include "MainWindow.h"

#include "AppSettings.h"
#include "ResourceIds.h"
#include "ResultsBox.h"
#include "SettingsStore.h"

#include <commctrl.h>

#include <cstdio>

namespace {

INT_PTR CALLBACK AboutProcedure(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

MainWindow::MainWindow(AppSettings& settings, PortLister listPorts)
    : settings(settings), listPorts(std::move(listPorts)), ethernetPage(settings)
{
}

void MainWindow::RunSession(HINSTANCE instance, AppSettings& settings, SettingsStore& store, PortLister listPorts)
{
    settings.Load(store);
    MainWindow window(settings, std::move(listPorts));
    window.RunModal(instance); // how the run ended does not matter: the settings are saved alike
    settings.Save(store);
}

int MainWindow::RunModal(HINSTANCE module)
{
    instance = module;
    modal = true;
    INT_PTR result = ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, &MainWindow::Procedure,
                                       reinterpret_cast<LPARAM>(this));
    return static_cast<int>(result);
}

HWND MainWindow::CreateModeless(HINSTANCE module)
{
    instance = module;
    modal = false;
    return ::CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, &MainWindow::Procedure,
                                reinterpret_cast<LPARAM>(this));
}

ResultsBox* MainWindow::Results() const
{
    return ResultsBox::FromWindow(::GetDlgItem(window, IDC_RESULTS));
}

INT_PTR CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<MainWindow*>(lParam);
        self->window = window;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrA(window, DWLP_USER));
    return self ? self->Handle(message, wParam, lParam) : FALSE;
}

void MainWindow::OnInitDialog()
{
    HMENU systemMenu = ::GetSystemMenu(window, FALSE);
    char aboutText[128] = "";
    if (systemMenu && ::LoadStringA(instance, IDS_ABOUTBOX, aboutText, sizeof(aboutText)) > 0) {
        ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
    }

    icon = static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(IDI_VENNIX), IMAGE_ICON,
                                           ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0));
    smallIcon = static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(IDI_VENNIX), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    ::SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));

    ethernetPage.Create(instance, window);
    serialPage.Create(instance, window);

    HWND tabs = ::GetDlgItem(window, IDC_TABS);
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>("Serial");
    ::SendMessageA(tabs, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    item.pszText = const_cast<char*>("Ethernet");
    ::SendMessageA(tabs, TCM_INSERTITEMA, 1, reinterpret_cast<LPARAM>(&item));

    // Both pages cover exactly the tab control's display area.
    RECT area{};
    ::GetWindowRect(tabs, &area);
    ::SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    for (HWND page : {ethernetPage.Window(), serialPage.Window()})
        ::SetWindowPos(page, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top, 0);
    const bool ethernet = settings.useethernet != 0;
    ::ShowWindow(ethernet ? ethernetPage.Window() : serialPage.Window(), SW_SHOW);
    ::SendMessageA(tabs, TCM_SETCURSEL, ethernet ? 1 : 0, 0);

    const auto address = AppSettings::ParseDottedAddress(settings.ip1);
    ethernetPage.SetAddress(address);
    char addressText[16];
    std::snprintf(addressText, sizeof(addressText), "%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
    ethernetPage.addressText = addressText;

    serialPage.FillPorts(listPorts ? listPorts() : std::vector<std::string>());
    serialPage.SelectStored(IDC_PORT_LIST, settings.serialport);
    serialPage.SelectStored(IDC_FORMAT_LIST, settings.dataformat);
    serialPage.SelectStored(IDC_BAUD_LIST, settings.baud);

    ::SetDlgItemTextA(window, IDC_PATH, settings.filename.c_str());
    ::CheckDlgButton(window, IDC_AUTO_OPEN, settings.portstatus == 1 ? BST_CHECKED : BST_UNCHECKED);
    ::EnableWindow(::GetDlgItem(window, IDC_DOWNLOAD), FALSE);

    progress.Create(instance, window);
}

INT_PTR MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), window, &AboutProcedure, 0);
            return TRUE;
        }
        return FALSE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == IDC_TABS && header->code == TCN_SELCHANGE) {
            OnTabChanged();
            ::SetWindowLongPtrA(window, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        return FALSE;
    }
    case WM_PAINT: return PaintMinimised() ? TRUE : FALSE;
    case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(icon);
    case WM_DESTROY:
        if (smallIcon)
            ::DestroyIcon(smallIcon);
        if (icon)
            ::DestroyIcon(icon);
        icon = smallIcon = nullptr;
        return FALSE;
    default: return FALSE;
    }
}

void MainWindow::OnCommand(int id, int code)
{
    switch (id) {
    case IDCANCEL: // Esc and the close box: the run ends at once
        End(IDCANCEL);
        break;
    case IDC_CLOSE_WINDOW: End(IDOK); break;
    case IDC_ABOUT: ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), window, &AboutProcedure, 0); break;
    case IDC_AUTO_OPEN:
        if (code == BN_CLICKED)
            settings.portstatus = ::IsDlgButtonChecked(window, IDC_AUTO_OPEN) == BST_CHECKED ? 1 : 0;
        break;
    case IDC_CLEAR_RESULTS:
        if (ResultsBox* results = Results())
            results->Clear();
        break;
    default: break;
    }
}

void MainWindow::OnTabChanged()
{
    int index = static_cast<int>(::SendDlgItemMessageA(window, IDC_TABS, TCM_GETCURSEL, 0, 0));
    if (index != 0 && index != 1)
        return;
    const bool ethernet = index == 1;
    ::ShowWindow(serialPage.Window(), ethernet ? SW_HIDE : SW_SHOW);
    ::EnableWindow(serialPage.Window(), !ethernet);
    ::ShowWindow(ethernetPage.Window(), ethernet ? SW_SHOW : SW_HIDE);
    ::EnableWindow(ethernetPage.Window(), ethernet);
    settings.useethernet = ethernet ? 1 : 0;
}

bool MainWindow::PaintMinimised()
{
    if (!::IsIconic(window))
        return false;
    PAINTSTRUCT paint;
    HDC context = ::BeginPaint(window, &paint);
    ::SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    RECT client{};
    ::GetClientRect(window, &client);
    const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(context, x, y, icon);
    ::EndPaint(window, &paint);
    return true;
}

void MainWindow::End(int result)
{
    ended = true;
    endResult = result;
    if (modal)
        ::EndDialog(window, result);
    else
        ::DestroyWindow(window);
}
