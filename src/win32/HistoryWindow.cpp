#include "HistoryWindow.h"

#include "HistoryTable.h"
#include "ResourceIds.h"
#include "Win32MessageBox.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

namespace {

// The log's text is UTF-8 whatever the code page: the list and the clipboard
// take it as UTF-16, so that names in any script show as they were recorded.
// The log's own path came from the ANSI calls, in the ANSI code page.
std::wstring Wide(const std::string& text, UINT codePage = CP_UTF8)
{
    const int length = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// With Windows line ends, which every program pastes alike.
std::wstring ClipboardForm(const std::string& text)
{
    std::string lines;
    lines.reserve(text.size() + text.size() / 32);
    for (char c : text) {
        if (c == '\n')
            lines += '\r';
        lines += c;
    }
    return Wide(lines);
}

bool PutOnClipboard(HWND owner, const std::wstring& text)
{
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (!memory)
        return false;
    auto* chars = static_cast<wchar_t*>(::GlobalLock(memory));
    text.copy(chars, text.size());
    chars[text.size()] = L'\0';
    ::GlobalUnlock(memory);
    if (!::OpenClipboard(owner)) {
        ::GlobalFree(memory);
        return false;
    }
    ::EmptyClipboard();
    const bool taken = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    ::CloseClipboard();
    if (!taken)
        ::GlobalFree(memory); // the clipboard owns it only once taken
    return taken;
}

std::string HeadingText(const HistoryTable& table)
{
    const std::string& path = table.Log().Path();
    std::string text;
    if (table.RowCount() == 0) {
        text = "No downloads are recorded in " + path + " yet.";
    } else if (table.RowCount() == 1) {
        text = "The one download recorded in " + path + ".";
    } else {
        text = "The latest ";
        text += std::to_string(table.RowCount());
        text += " downloads recorded in " + path + ", newest first.";
    }
    if (table.Skipped() > 0) {
        text += ' ';
        text += std::to_string(table.Skipped());
        text += " lines that are no record were left out.";
    }
    return text;
}

} // namespace

HistoryWindow::HistoryWindow(const HistoryTable& table) : table(table) {}

int HistoryWindow::Run(HINSTANCE instance, HWND owner)
{
    // The program registers the classes its main window needs; the list is this dialog's alone.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    const INT_PTR result = ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_HISTORY), owner, &HistoryWindow::Procedure,
                                             reinterpret_cast<LPARAM>(this));
    window = nullptr;
    return static_cast<int>(result);
}

HWND HistoryWindow::List() const
{
    return ::GetDlgItem(window, IDC_HISTORY_LIST);
}

INT_PTR CALLBACK HistoryWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<HistoryWindow*>(lParam);
        self->window = window;
        self->Fill();
        ::SetFocus(self->List());
        return FALSE; // the focus is set
    }
    auto* self = reinterpret_cast<HistoryWindow*>(::GetWindowLongPtrA(window, DWLP_USER));
    return self ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR HistoryWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL: ::EndDialog(window, IDCANCEL); return TRUE;
        case IDC_HISTORY_COPY: CopySelection(); return TRUE;
        case IDC_HISTORY_EXPORT: Export(); return TRUE;
        default: return FALSE;
        }
    case WM_NOTIFY: {
        // The list's own Ctrl+C copies nothing; here it copies whole rows.
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == IDC_HISTORY_LIST && header->code == LVN_KEYDOWN &&
            reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey == 'C' && ::GetKeyState(VK_CONTROL) < 0 &&
            table.RowCount() > 0) {
            CopySelection();
            return TRUE;
        }
        return FALSE;
    }
    case WM_SHOWWINDOW:
        // The modal run shows the dialog once its first messages are done.
        if (wParam && !shownPosted) {
            shownPosted = true;
            ::PostMessageA(window, ShownMessage, 0, 0);
        }
        return FALSE;
    case ShownMessage:
        if (shown)
            shown(*this);
        return TRUE;
    default: return FALSE;
    }
}

void HistoryWindow::Fill()
{
    ::SetDlgItemTextW(window, IDC_HISTORY_HEADING, Wide(HeadingText(table), CP_ACP).c_str());
    HWND list = List();
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);

    const std::vector<std::string> headings = HistoryTable::Headings();
    for (size_t c = 0; c < headings.size(); ++c) {
        std::wstring text = Wide(headings[c]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_SUBITEM;
        column.pszText = text.data();
        column.iSubItem = static_cast<int>(c);
        ::SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }
    // Row i of the list is row i of the table: the list is never sorted.
    for (size_t r = 0; r < table.RowCount(); ++r) {
        const std::vector<std::string> cells = table.Row(r);
        for (size_t c = 0; c < cells.size(); ++c) {
            std::wstring text = Wide(cells[c]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(r);
            item.iSubItem = static_cast<int>(c);
            item.pszText = text.data();
            ::SendMessageW(list, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, c == 0 ? 0 : r,
                           reinterpret_cast<LPARAM>(&item));
        }
    }
    // Each column as wide as its widest cell or its heading, with the header's
    // padding, whichever is wider: no heading is cut to "...".
    const int padding = static_cast<int>(::SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(L"WW")));
    for (size_t c = 0; c < headings.size(); ++c) {
        ::SendMessageW(list, LVM_SETCOLUMNWIDTH, c, LVSCW_AUTOSIZE);
        const int cells = static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0));
        const int heading = static_cast<int>(
            ::SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(Wide(headings[c]).c_str())));
        ::SendMessageW(list, LVM_SETCOLUMNWIDTH, c, MAKELPARAM(std::max(cells, heading + padding), 0));
    }

    ::EnableWindow(::GetDlgItem(window, IDC_HISTORY_COPY), table.RowCount() > 0);
    ::EnableWindow(::GetDlgItem(window, IDC_HISTORY_EXPORT), table.RowCount() > 0);
}

std::vector<size_t> HistoryWindow::SelectedRows() const
{
    std::vector<size_t> rows;
    HWND list = List();
    for (int index = -1;;) {
        index = static_cast<int>(::SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(index), LVNI_SELECTED));
        if (index < 0)
            break;
        rows.push_back(static_cast<size_t>(index));
    }
    return rows;
}

void HistoryWindow::CopySelection()
{
    if (!PutOnClipboard(window, ClipboardForm(table.CopyText(SelectedRows()))))
        Win32MessageBox::Show(window, "The clipboard is busy; copy again in a moment.", MB_OK | MB_ICONEXCLAMATION);
}

std::string HistoryWindow::ChooseExportPath()
{
    if (chooseExportPath)
        return chooseExportPath();
    char path[MAX_PATH * 4] = "downloads.csv";
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window;
    dialog.lpstrFilter = "CSV Files (*.csv)\0*.csv\0All Files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof(path);
    dialog.lpstrTitle = "Export Download History";
    dialog.lpstrDefExt = "csv";
    dialog.Flags = OFN_EXPLORER | OFN_LONGNAMES | OFN_ENABLESIZING | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST |
                   OFN_NOCHANGEDIR;
    return ::GetSaveFileNameA(&dialog) ? std::string(path) : std::string();
}

void HistoryWindow::Export()
{
    const std::string path = ChooseExportPath();
    if (path.empty())
        return;
    std::string error;
    if (!table.ExportCsv(path, &error))
        Win32MessageBox::Show(window, "The download history could not be exported.\n\n" + error,
                              MB_OK | MB_ICONEXCLAMATION);
}
