#include "MainWindow.h"

#include "AppSettings.h"
#include "BootloaderDialogWindow.h"
#include "HistoryWindow.h"
#include "ResourceIds.h"
#include "ResultsBox.h"
#include "SerialPageState.h"
#include "SerialPort.h"
#include "SettingsStore.h"
#include "Win32MessageBox.h"
#include "WindowRecorder.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>
#include <shellapi.h>

namespace {

// The window whose progress dialog takes its keys through the dialog filter;
// one main window per thread.
thread_local MainWindow* keyTarget = nullptr;

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

std::string ControlText(HWND control)
{
    const int length = ::GetWindowTextLengthA(control);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    ::GetWindowTextA(control, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

} // namespace

MainWindow::MainWindow(AppSettings& settings, MainDialog::PortLister listPorts)
    : settings(settings), listPorts(std::move(listPorts))
{
}

MainWindow::~MainWindow()
{
    if (keyHook)
        ::UnhookWindowsHookEx(keyHook);
    if (keyTarget == this)
        keyTarget = nullptr;
}

void MainWindow::RunSession(HINSTANCE instance, AppSettings& settings, SettingsStore& store,
                            MainDialog::PortLister listPorts)
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
    return self && self->behaviour ? self->Handle(message, wParam, lParam) : FALSE;
}

LRESULT CALLBACK MainWindow::DialogKeys(int code, WPARAM wParam, LPARAM lParam)
{
    // The progress dialog is modeless beside the main window's modal run,
    // whose loop gives keys only to the main window: Esc and Tab reach the
    // progress dialog through here.
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code >= 0 && keyTarget && message) {
        HWND progress = keyTarget->progress.Window();
        if (progress && ::IsWindowVisible(progress) &&
            (message->hwnd == progress || ::IsChild(progress, message->hwnd)) &&
            ::IsDialogMessageA(progress, message))
            return 1;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void MainWindow::OnInitDialog()
{
    HMENU systemMenu = ::GetSystemMenu(window, FALSE);
    char aboutText[128] = "";
    if (systemMenu && ::LoadStringA(instance, IDS_ABOUTBOX, aboutText, sizeof(aboutText)) > 0) {
        ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
    }
    char historyText[128] = "";
    if (systemMenu && ::LoadStringA(instance, IDS_HISTORY, historyText, sizeof(historyText)) > 0)
        ::AppendMenuA(systemMenu, MF_STRING, IDM_HISTORY, historyText);

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

    progress.Create(instance, window);
    keyTarget = this;
    keyHook = ::SetWindowsHookExA(WH_MSGFILTER, &MainWindow::DialogKeys, nullptr, ::GetCurrentThreadId());

    notifyTarget.SetWindow(window);
    behaviour = std::make_unique<MainDialog>(settings, *this, &notifyTarget, reporter, listPorts);
    reporter.Attach(window, behaviour.get());
    behaviour->Initialise();
}

INT_PTR MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case SerialPageWindow::ReopenPortMessage: {
        // From the serial page with the list that changed, or from the progress dialog's Cancel.
        SerialList list;
        if (SerialPageWindow::ListOf(static_cast<int>(wParam), list))
            behaviour->OnSerialSelectionChanged(list, serialPage.Selection(list));
        else
            behaviour->OnProgressCancel();
        return TRUE;
    }
    case WM_SERIAL_RECEIVED:
    case WM_SERIAL_SENT:
    case WM_SERIAL_ERROR:
    case WindowRecorder::NotWrittenMessage: behaviour->OnSerialNotification(message); return TRUE;
    case Win32DownloadReporter::ReportMessage: Win32DownloadReporter::Deliver(*behaviour, wParam, lParam); return TRUE;
    case WM_DEVICECHANGE:
        // A serial adapter came or went: the port list follows.
        if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE || wParam == DBT_DEVNODES_CHANGED)
            behaviour->RefreshPortList();
        ::SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_DROPFILES: OnDroppedFiles(reinterpret_cast<HDROP>(wParam)); return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), window, &AboutProcedure, 0);
            return TRUE;
        }
        if ((wParam & 0xFFF0) == IDM_HISTORY) {
            behaviour->OnHistory();
            return TRUE;
        }
        return FALSE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == IDC_TABS && header->code == TCN_SELCHANGE) {
            OnTabSelected();
            ::SetWindowLongPtrA(window, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        return FALSE;
    }
    case WM_PAINT: return PaintMinimised() ? TRUE : FALSE;
    case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(icon);
    case WM_DESTROY:
        notifyTarget.SetWindow(nullptr);
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
    case IDOK: OnEnterKey(); break;
    case IDCANCEL: // Esc and the close box: the run ends at once, unless a download runs
        if (behaviour->MayEnd())
            End(IDCANCEL);
        break;
    case IDC_CLOSE_WINDOW: behaviour->OnClose(); break;
    case IDC_ABOUT: ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), window, &AboutProcedure, 0); break;
    case IDC_BROWSE: behaviour->OnBrowse(); break;
    case IDC_DOWNLOAD: behaviour->OnDownload(); break;
    case IDC_CLEAR_RESULTS: behaviour->OnClearResults(); break;
    case IDC_XMIT: behaviour->OnXmit(); break;
    case IDC_INDUCE: behaviour->OnInduceBootloader(); break;
    case IDC_PORT_TOGGLE:
        if (code == BN_CLICKED)
            behaviour->OnPortToggle(::IsDlgButtonChecked(window, IDC_PORT_TOGGLE) == BST_CHECKED);
        break;
    case IDC_AUTO_OPEN:
        if (code == BN_CLICKED)
            behaviour->OnAutoOpen(::IsDlgButtonChecked(window, IDC_AUTO_OPEN) == BST_CHECKED);
        break;
    case IDC_PORT_LIST:
        if (code == CBN_DROPDOWN)
            behaviour->RefreshPortList();
        break;
    case IDC_IP_HISTORY:
        if (code == CBN_SELCHANGE)
            behaviour->OnRecentAddressSelected(static_cast<int>(
                ::SendDlgItemMessageA(ethernetPage.Window(), IDC_IP_HISTORY, CB_GETCURSEL, 0, 0)));
        break;
    default: break;
    }
}

void MainWindow::OnEnterKey()
{
    // The dialog manager presses a focused push button itself; Enter comes
    // here from anywhere else. In the Xmit edit it sends.
    if (::GetFocus() == ::GetDlgItem(serialPage.Window(), IDC_XMIT_TEXT))
        behaviour->OnXmit();
    else
        behaviour->OnEnter();
}

void MainWindow::OnTabSelected()
{
    const int index = static_cast<int>(::SendDlgItemMessageA(window, IDC_TABS, TCM_GETCURSEL, 0, 0));
    if (index != 0 && index != 1)
        return;
    ::ShowWindow(index == 0 ? serialPage.Window() : ethernetPage.Window(), SW_SHOW);
    ::ShowWindow(index == 0 ? ethernetPage.Window() : serialPage.Window(), SW_HIDE);
    behaviour->OnTabChanged(index);
}

void MainWindow::OnDroppedFiles(HDROP drop)
{
    std::vector<std::string> paths;
    const UINT count = ::DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileA(drop, i, nullptr, 0);
        std::string path(length + 1, '\0');
        ::DragQueryFileA(drop, i, path.data(), length + 1);
        path.resize(length);
        paths.push_back(path);
    }
    ::DragFinish(drop);
    behaviour->OnFilesDropped(paths);
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

// MainDialogView

void MainWindow::ShowPath(const std::string& path)
{
    ::SetDlgItemTextA(window, IDC_PATH, path.c_str());
}

void MainWindow::ShowSizeText(const std::string& text)
{
    ::SetDlgItemTextA(window, IDC_SIZE_TEXT, text.c_str());
}

void MainWindow::ShowDownloadButton(bool enabled, const std::string& text)
{
    HWND button = ::GetDlgItem(window, IDC_DOWNLOAD);
    if (ControlText(button) != text)
        ::SetWindowTextA(button, text.c_str());
    ::EnableWindow(button, enabled);
}

void MainWindow::ShowPortToggle(bool pressed, const std::string& text)
{
    ::CheckDlgButton(window, IDC_PORT_TOGGLE, pressed ? BST_CHECKED : BST_UNCHECKED);
    ::SetDlgItemTextA(window, IDC_PORT_TOGGLE, text.c_str());
}

void MainWindow::ShowAutoOpen(bool checked)
{
    ::CheckDlgButton(window, IDC_AUTO_OPEN, checked ? BST_CHECKED : BST_UNCHECKED);
}

void MainWindow::ShowTab(int index)
{
    ::SendDlgItemMessageA(window, IDC_TABS, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::ShowWindow(index == 1 ? ethernetPage.Window() : serialPage.Window(), SW_SHOW);
    ::ShowWindow(index == 1 ? serialPage.Window() : ethernetPage.Window(), SW_HIDE);
}

void MainWindow::EnablePages(bool serialEnabled, bool ethernetEnabled)
{
    ::EnableWindow(serialPage.Window(), serialEnabled);
    ::EnableWindow(ethernetPage.Window(), ethernetEnabled);
}

void MainWindow::EnableWindow(bool enabled)
{
    ::EnableWindow(window, enabled);
}

void MainWindow::RaiseWindow()
{
    ::BringWindowToTop(window);
}

void MainWindow::EndDialog()
{
    End(IDOK);
}

void MainWindow::AppendResults(const uint8_t* bytes, size_t count, bool coloured, uint32_t colour)
{
    if (ResultsBox* results = Results())
        results->AppendBytes(bytes, count, coloured, colour);
}

void MainWindow::ClearResults()
{
    if (ResultsBox* results = Results())
        results->Clear();
}

void MainWindow::ShowSerialList(SerialList list, const std::vector<std::string>& items, int selected)
{
    serialPage.ShowList(list, items, selected);
}

void MainWindow::SelectSerialItem(SerialList list, int index)
{
    serialPage.Select(list, index);
}

std::string MainWindow::TransmitText()
{
    return serialPage.TransmitText();
}

void MainWindow::ShowAddress(const std::array<uint8_t, 4>& address)
{
    ethernetPage.SetAddress(address);
}

std::array<uint8_t, 4> MainWindow::AddressInControl()
{
    return ethernetPage.Address();
}

void MainWindow::ShowAddressHistory(const std::vector<std::string>& rows)
{
    ethernetPage.ShowHistory(rows);
}

void MainWindow::ShowProgressDialog(const std::string& caption, int64_t totalBytes)
{
    progress.BeginTransfer(totalBytes);
    progress.ShowOver(window, caption);
}

void MainWindow::HideProgressDialog()
{
    ::ShowWindow(progress.Window(), SW_HIDE);
}

void MainWindow::ShowProgressStatus(const std::string& text)
{
    progress.ShowStatus(text);
}

void MainWindow::ShowProgressBar(int percent)
{
    progress.SetProgress(percent);
}

void MainWindow::ShowMessage(const std::string& text, MessageIcon icon, const std::string& detail)
{
    Win32MessageBox::Show(window, detail.empty() ? text : text + "\n\n" + detail,
                          MB_OK | (icon == MessageIcon::Exclamation ? MB_ICONEXCLAMATION : 0));
}

std::string MainWindow::ChooseFile(const std::string& currentPath)
{
    if (chooseFile)
        return chooseFile();
    (void)currentPath; // the dialog starts from the downloadable files' pattern, as it always has
    char path[MAX_PATH * 4] = "*.bff;*.bin";
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window;
    dialog.lpstrFilter = "Downloable Files (*.bff;*.bin)\0*.bff;*.bin\0"
                         "Application Files (*.bff)\0*.bff\0"
                         "Firmware Files (*.bin)\0*.bin\0"
                         "All Files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof(path);
    dialog.lpstrDefExt = "bff";
    dialog.Flags = OFN_EXPLORER | OFN_LONGNAMES | OFN_ENABLESIZING;
    return ::GetOpenFileNameA(&dialog) ? std::string(path) : std::string();
}

bool MainWindow::RunBootloaderDialog(const std::string& portText)
{
    BootloaderDialogWindow dialog(SerialPageState::ComName(portText), [this](const uint8_t* bytes, int count) {
        behaviour->AppendBytes(bytes, count, false, 0);
    });
    return dialog.Run(instance, window) == IDOK;
}

void MainWindow::ShowHistory(const HistoryTable& table)
{
    HistoryWindow dialog(table);
    dialog.shown = historyShown;
    dialog.Run(instance, window);
}
