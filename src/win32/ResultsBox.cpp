#include "ResultsBox.h"

#include "ResourceIds.h"
#include "Win32MessageBox.h"

#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <vector>

namespace {

// Appends arriving faster than this are shown together: one repaint a frame.
constexpr UINT FrameMs = 16;
constexpr UINT_PTR FrameTimer = 1;
// Room left of the first column, so that a selection at column 0 shows.
constexpr int LeftMargin = 3;
constexpr int WheelRows = 3;

// Windows text: rows end with CR LF.
std::string WithCrLf(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

std::string SystemErrorText(DWORD error)
{
    char* buffer = nullptr;
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                        FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length ? std::string(buffer, length) : "error " + std::to_string(error);
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

bool ResultsBox::Register(HINSTANCE instance)
{
    WNDCLASSEXA windowClass{};
    if (::GetClassInfoExA(instance, VENNIX_RESULTS_CLASS, &windowClass))
        return true;
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &ResultsBox::Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursor(nullptr, IDC_IBEAM);
    windowClass.hbrBackground = nullptr; // painted whole, off screen
    windowClass.lpszClassName = VENNIX_RESULTS_CLASS;
    return ::RegisterClassExA(&windowClass) != 0;
}

ResultsBox* ResultsBox::FromWindow(HWND window)
{
    return reinterpret_cast<ResultsBox*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

ResultsBox::ResultsBox(HWND window) : window(window)
{
    SetFont(nullptr);
}

ResultsBox::~ResultsBox()
{
    if (font)
        ::DeleteObject(font);
}

LRESULT CALLBACK ResultsBox::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* box = new ResultsBox(window);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(box));
    }
    ResultsBox* box = FromWindow(window);
    if (!box)
        return ::DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        delete box;
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    return box->Handle(message, wParam, lParam);
}

LRESULT ResultsBox::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: UpdateScrollBars(); return 0;
    case WM_SETFONT:
        SetFont(reinterpret_cast<HFONT>(wParam));
        if (LOWORD(lParam))
            ::InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(font);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: Paint(); return 0;
    case WM_PRINTCLIENT: Draw(reinterpret_cast<HDC>(wParam)); return 0;
    case WM_SIZE: {
        bool atEnd = topRow >= MaxTopRow();
        UpdateScrollBars();
        if (atEnd)
            ScrollTo(MaxTopRow(), left);
        return 0;
    }
    case WM_TIMER:
        if (wParam == FrameTimer) {
            ::KillTimer(window, FrameTimer);
            timerRunning = false;
            ShowAppended();
        }
        return 0;
    case WM_VSCROLL: OnScroll(SB_VERT, LOWORD(wParam)); return 0;
    case WM_HSCROLL: OnScroll(SB_HORZ, LOWORD(wParam)); return 0;
    case WM_MOUSEWHEEL: {
        int steps = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * WheelRows;
        long long row = static_cast<long long>(topRow) - steps;
        ScrollTo(static_cast<size_t>(std::max(0LL, row)), left);
        return 0;
    }
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: ::InvalidateRect(window, nullptr, FALSE); return 0;
    case WM_LBUTTONDOWN: {
        ::SetFocus(window);
        ::SetCapture(window);
        // The click means what is on the screen now, so the view does not
        // catch up with pending appends first.
        dragging = true;
        Position at = PositionAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        caret = at;
        if (!(wParam & MK_SHIFT))
            anchor = at;
        ::InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (dragging) {
            caret = PositionAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            BringIntoView(caret); // dragging past an edge scrolls
            ::InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_LBUTTONUP:
        if (dragging) {
            dragging = false;
            ::ReleaseCapture();
            ShowAppended();
        }
        return 0;
    case WM_CAPTURECHANGED:
        dragging = false;
        return 0;
    case WM_LBUTTONDBLCLK: {
        Position at = PositionAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        Select({at.row, 0}, {at.row, history.RowWidth(at.row)});
        return 0;
    }
    case WM_KEYDOWN: OnKey(wParam); return 0;
    case WM_CHAR: return 0; // keys are handled as they go down; typed text goes nowhere
    case WM_CONTEXTMENU: ShowContextMenu(lParam); return 0;
    case WM_SYSCOLORCHANGE: ::InvalidateRect(window, nullptr, FALSE); return 0;
    default: return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

void ResultsBox::SetFont(HFONT dialogFont)
{
    // The dialog's font gives the height (it follows the screen's density);
    // the face is fixed-pitch, so that columns and tags line up.
    LOGFONTA dialogLook{};
    HFONT source = dialogFont ? dialogFont : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    ::GetObjectA(source, sizeof(dialogLook), &dialogLook);
    LOGFONTA look{};
    look.lfHeight = dialogLook.lfHeight ? dialogLook.lfHeight : -11;
    look.lfWeight = FW_NORMAL;
    look.lfCharSet = ANSI_CHARSET;
    look.lfOutPrecision = OUT_TT_PRECIS;
    look.lfQuality = CLEARTYPE_QUALITY;
    look.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynA(look.lfFaceName, "Consolas", LF_FACESIZE);
    HFONT made = ::CreateFontIndirectA(&look);
    if (!made)
        return;
    if (font)
        ::DeleteObject(font);
    font = made;

    HDC context = ::GetDC(window);
    if (context) {
        HGDIOBJ old = ::SelectObject(context, font);
        TEXTMETRICA metrics{};
        ::GetTextMetricsA(context, &metrics);
        SIZE zero{};
        ::GetTextExtentPoint32A(context, "0", 1, &zero);
        ::SelectObject(context, old);
        ::ReleaseDC(window, context);
        // Every character is placed a whole cell apart, so even a face that
        // is not quite fixed-pitch keeps the columns.
        charWidth = std::max<int>(1, zero.cx);
        lineHeight = std::max<int>(1, metrics.tmHeight + metrics.tmExternalLeading);
    }
    UpdateScrollBars();
}

void ResultsBox::AppendBytes(const uint8_t* bytes, size_t count, bool coloured, uint32_t colour)
{
    if (count == 0)
        return;
    history.Append(bytes, count, coloured, colour);
    appendPending = true;
    if (!timerRunning && ::SetTimer(window, FrameTimer, FrameMs, nullptr))
        timerRunning = true;
}

void ResultsBox::AppendMessage(const std::string& text, bool coloured, uint32_t colour)
{
    AppendBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), coloured, colour);
}

void ResultsBox::Clear()
{
    history.Clear();
    anchor = caret = Position{};
    appendPending = false;
    topRow = 0;
    left = 0;
    UpdateScrollBars();
    ::InvalidateRect(window, nullptr, FALSE);
}

void ResultsBox::ShowAppended()
{
    if (!appendPending)
        return;
    UpdateScrollBars();
    ::InvalidateRect(window, nullptr, FALSE);
    // The newest line is brought into view, except while the operator drags
    // out a selection: the view goes where the mouse takes it, and catches up
    // when the button is let go.
    if (dragging)
        return;
    appendPending = false;
    ScrollTo(MaxTopRow(), left);
}

size_t ResultsBox::FirstVisibleRow()
{
    ShowAppended();
    return topRow;
}

size_t ResultsBox::VisibleRows() const
{
    return static_cast<size_t>(std::max(1, ClientHeight() / lineHeight));
}

int ResultsBox::ClientWidth() const
{
    RECT client{};
    ::GetClientRect(window, &client);
    return client.right - client.left;
}

int ResultsBox::ClientHeight() const
{
    RECT client{};
    ::GetClientRect(window, &client);
    return client.bottom - client.top;
}

size_t ResultsBox::MaxTopRow() const
{
    size_t rows = history.RowCount();
    size_t visible = VisibleRows();
    return rows > visible ? rows - visible : 0;
}

int ResultsBox::MaxLeft() const
{
    long long width = LeftMargin + static_cast<long long>(history.WidestRow() + 1) * charWidth;
    return static_cast<int>(std::clamp<long long>(width - ClientWidth(), 0, INT32_MAX / 2));
}

void ResultsBox::UpdateScrollBars()
{
    // Positions are rows; the scroll bar's 32-bit range holds any history
    // this program can keep in memory.
    SCROLLINFO vertical{};
    vertical.cbSize = sizeof(vertical);
    vertical.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    vertical.nMin = 0;
    vertical.nMax = static_cast<int>(std::min<size_t>(history.RowCount() - 1, INT32_MAX - 1));
    vertical.nPage = static_cast<UINT>(std::min<size_t>(VisibleRows(), INT32_MAX));
    topRow = std::min(topRow, MaxTopRow());
    vertical.nPos = static_cast<int>(std::min<size_t>(topRow, INT32_MAX));
    ::SetScrollInfo(window, SB_VERT, &vertical, TRUE);

    SCROLLINFO horizontal{};
    horizontal.cbSize = sizeof(horizontal);
    horizontal.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    int width = ClientWidth();
    left = std::min(left, MaxLeft());
    horizontal.nMin = 0;
    horizontal.nMax = std::max(0, MaxLeft() + width - 1);
    horizontal.nPage = static_cast<UINT>(std::max(0, width));
    horizontal.nPos = left;
    ::SetScrollInfo(window, SB_HORZ, &horizontal, TRUE);
}

void ResultsBox::ScrollTo(size_t row, int newLeft)
{
    row = std::min(row, MaxTopRow());
    newLeft = std::clamp(newLeft, 0, MaxLeft());
    if (row == topRow && newLeft == left)
        return;
    topRow = row;
    left = newLeft;
    ::SetScrollPos(window, SB_VERT, static_cast<int>(std::min<size_t>(topRow, INT32_MAX)), TRUE);
    ::SetScrollPos(window, SB_HORZ, left, TRUE);
    ::InvalidateRect(window, nullptr, FALSE);
}

void ResultsBox::OnScroll(int bar, WORD request)
{
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    ::GetScrollInfo(window, bar, &info);
    const long long page = std::max<long long>(1, info.nPage);
    const long long line = bar == SB_VERT ? 1 : charWidth;
    long long position = info.nPos;
    switch (request) {
    case SB_LINEUP: position -= line; break;
    case SB_LINEDOWN: position += line; break;
    case SB_PAGEUP: position -= page; break;
    case SB_PAGEDOWN: position += page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: position = info.nTrackPos; break;
    case SB_TOP: position = 0; break;
    case SB_BOTTOM: position = info.nMax; break;
    default: return;
    }
    position = std::max(0LL, position);
    if (bar == SB_VERT)
        ScrollTo(static_cast<size_t>(position), left);
    else
        ScrollTo(topRow, static_cast<int>(std::min<long long>(position, INT32_MAX)));
}

int ResultsBox::ColumnX(size_t column) const
{
    return LeftMargin - left + static_cast<int>(std::min<size_t>(column, INT32_MAX / 64)) * charWidth;
}

COLORREF ResultsBox::ColourOf(const ConsoleHistory::Run& run) const
{
    if (run.kind == ConsoleRendering::RunKind::Label)
        return ConsoleRendering::LabelColour;
    uint32_t text = run.coloured ? run.colour : ::GetSysColor(COLOR_WINDOWTEXT);
    if (run.kind == ConsoleRendering::RunKind::Text)
        return text;
    return ConsoleRendering::TagColour(text, ::GetSysColor(COLOR_WINDOW));
}

void ResultsBox::Paint()
{
    PAINTSTRUCT paint;
    HDC screen = ::BeginPaint(window, &paint);
    Draw(screen);
    ::EndPaint(window, &paint);
}

void ResultsBox::Draw(HDC screen)
{
    RECT client{};
    ::GetClientRect(window, &client);
    const int width = std::max<int>(1, client.right);
    const int height = std::max<int>(1, client.bottom);
    // Drawn off screen and copied in one piece, so nothing flickers.
    HDC context = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ oldBitmap = ::SelectObject(context, bitmap);
    HGDIOBJ oldFont = ::SelectObject(context, font);
    ::SetBkMode(context, TRANSPARENT);
    ::SetTextAlign(context, TA_TOP | TA_LEFT | TA_NOUPDATECP);

    HBRUSH background = ::GetSysColorBrush(COLOR_WINDOW);
    ::FillRect(context, &client, background);

    const size_t first = topRow;
    const size_t last = std::min(history.RowCount(), first + VisibleRows() + 1);
    // Only the columns in sight are drawn, so that a long row costs no more than a short one.
    const size_t firstColumn = static_cast<size_t>(std::max(0, (left - LeftMargin) / charWidth));
    const size_t lastColumn = firstColumn + static_cast<size_t>(width / charWidth) + 2;
    const Position from = std::min(anchor, caret);
    const Position to = std::max(anchor, caret);
    const bool focused = ::GetFocus() == window;
    HBRUSH highlight = ::GetSysColorBrush(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
    const COLORREF highlightedText = ::GetSysColor(focused ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT);
    std::vector<INT> advances;

    for (size_t row = first; row < last; ++row) {
        const int top = static_cast<int>(row - first) * lineHeight;
        // Columns selected in this row; the line break counts as one column past the end.
        size_t selectedFrom = 0;
        size_t selectedTo = 0;
        if (from != to && row >= from.row && row <= to.row) {
            selectedFrom = row == from.row ? from.column : 0;
            selectedTo = row == to.row ? to.column : history.RowWidth(row) + 1;
            if (selectedTo > selectedFrom) {
                size_t shownFrom = std::max(selectedFrom, firstColumn);
                size_t shownTo = std::min(selectedTo, lastColumn);
                if (shownTo > shownFrom) {
                    RECT band{ColumnX(shownFrom), top, ColumnX(shownTo), top + lineHeight};
                    ::FillRect(context, &band, highlight);
                }
            }
        }
        size_t column = 0;
        for (const auto& run : history.RowRuns(row)) {
            const size_t runEnd = column + run.text.size();
            const COLORREF colour = ColourOf(run);
            // Up to three pieces: before, inside and after the selection.
            const size_t cuts[] = {column, std::clamp(selectedFrom, column, runEnd),
                                   std::clamp(selectedTo, column, runEnd), runEnd};
            for (int piece = 0; piece < 3; ++piece) {
                size_t begin = std::max(cuts[piece], firstColumn);
                size_t end = std::min(cuts[piece + 1], lastColumn);
                if (begin >= end)
                    continue;
                ::SetTextColor(context, piece == 1 ? highlightedText : colour);
                advances.assign(end - begin, charWidth);
                ::ExtTextOutA(context, ColumnX(begin), top, 0, nullptr, run.text.data() + (begin - column),
                              static_cast<UINT>(end - begin), advances.data());
            }
            column = runEnd;
            if (column >= lastColumn)
                break;
        }
    }

    ::BitBlt(screen, 0, 0, width, height, context, 0, 0, SRCCOPY);
    ::SelectObject(context, oldFont);
    ::SelectObject(context, oldBitmap);
    ::DeleteObject(bitmap);
    ::DeleteDC(context);
}

ResultsBox::Position ResultsBox::Clamped(Position position) const
{
    position.row = std::min(position.row, history.RowCount() - 1);
    position.column = std::min(position.column, history.RowWidth(position.row));
    return position;
}

ResultsBox::Position ResultsBox::PositionAt(int x, int y) const
{
    long long row = static_cast<long long>(topRow) + (y < 0 ? -1 : y / lineHeight);
    long long offset = x - ColumnX(0);
    long long column = offset <= 0 ? 0 : (offset + charWidth / 2) / charWidth;
    return Clamped({static_cast<size_t>(std::max(0LL, row)), static_cast<size_t>(column)});
}

POINT ResultsBox::PointOf(Position position) const
{
    long long row = static_cast<long long>(position.row) - static_cast<long long>(topRow);
    return POINT{ColumnX(position.column), static_cast<LONG>(row * lineHeight + lineHeight / 2)};
}

void ResultsBox::Select(Position from, Position to)
{
    anchor = Clamped(from);
    caret = Clamped(to);
    ::InvalidateRect(window, nullptr, FALSE);
}

void ResultsBox::SelectAll()
{
    Select({0, 0}, history.End());
}

std::string ResultsBox::SelectedText() const
{
    return WithCrLf(history.Text(anchor, caret));
}

bool ResultsBox::CopySelection() const
{
    if (!HasSelection())
        return false;
    const std::string text = SelectedText();
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (!memory)
        return false;
    char* data = static_cast<char*>(::GlobalLock(memory));
    std::copy(text.begin(), text.end(), data);
    data[text.size()] = '\0';
    ::GlobalUnlock(memory);
    if (!::OpenClipboard(window)) {
        ::GlobalFree(memory);
        return false;
    }
    ::EmptyClipboard();
    bool placed = ::SetClipboardData(CF_TEXT, memory) != nullptr;
    ::CloseClipboard();
    if (!placed)
        ::GlobalFree(memory);
    return placed;
}

void ResultsBox::MoveCaret(Position to, bool extend)
{
    caret = Clamped(to);
    if (!extend)
        anchor = caret;
    BringIntoView(caret);
    ::InvalidateRect(window, nullptr, FALSE);
}

void ResultsBox::BringIntoView(Position position)
{
    size_t row = topRow;
    if (position.row < topRow)
        row = position.row;
    else if (position.row >= topRow + VisibleRows())
        row = position.row + 1 - VisibleRows();
    int newLeft = left;
    int x = ColumnX(position.column);
    if (x < LeftMargin)
        newLeft += x - LeftMargin;
    else if (x + charWidth > ClientWidth())
        newLeft += x + charWidth - ClientWidth();
    ScrollTo(row, newLeft);
}

void ResultsBox::OnKey(WPARAM key)
{
    const bool control = ::GetKeyState(VK_CONTROL) < 0;
    const bool extend = ::GetKeyState(VK_SHIFT) < 0;
    if (control && (key == 'C' || key == VK_INSERT)) {
        CopySelection();
        return;
    }
    if (control && key == 'A') {
        SelectAll();
        return;
    }
    ShowAppended();
    const size_t page = VisibleRows();
    Position to = caret;
    switch (key) {
    case VK_LEFT:
        if (to.column > 0)
            --to.column;
        else if (to.row > 0)
            to = {to.row - 1, history.RowWidth(to.row - 1)};
        break;
    case VK_RIGHT:
        if (to.column < history.RowWidth(to.row))
            ++to.column;
        else if (to.row + 1 < history.RowCount())
            to = {to.row + 1, 0};
        break;
    case VK_UP: to.row = to.row > 0 ? to.row - 1 : 0; break;
    case VK_DOWN: ++to.row; break;
    case VK_PRIOR: to.row = to.row > page ? to.row - page : 0; break;
    case VK_NEXT: to.row += page; break;
    case VK_HOME: to = control ? Position{} : Position{to.row, 0}; break;
    case VK_END: to = control ? history.End() : Position{to.row, history.RowWidth(to.row)}; break;
    default: return;
    }
    MoveCaret(to, extend);
}

void ResultsBox::ShowContextMenu(LPARAM lParam)
{
    POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (lParam == -1) { // from the keyboard: at the caret
        at = PointOf(caret);
        ::ClientToScreen(window, &at);
    }
    HMENU menu = ::CreatePopupMenu();
    if (!menu)
        return;
    ::AppendMenuA(menu, MF_STRING | (HasSelection() ? 0 : MF_GRAYED), CommandCopy, "&Copy\tCtrl+C");
    ::AppendMenuA(menu, MF_STRING, CommandSelectAll, "Select &All\tCtrl+A");
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING, CommandSave, "Save results...");
    UINT chosen = static_cast<UINT>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, window, nullptr));
    ::DestroyMenu(menu);
    switch (chosen) {
    case CommandCopy: CopySelection(); break;
    case CommandSelectAll: SelectAll(); break;
    case CommandSave: AskAndSave(); break;
    default: break;
    }
}

void ResultsBox::AskAndSave()
{
    char path[MAX_PATH * 4] = "results.txt";
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = ::GetAncestor(window, GA_ROOT);
    dialog.lpstrFilter = "Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof(path);
    dialog.lpstrTitle = "Save results";
    dialog.lpstrDefExt = "txt";
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (::GetSaveFileNameA(&dialog))
        SaveResults(path);
}

bool ResultsBox::SaveResults(const std::string& path)
{
    // Written beside the target and moved over it once complete, so a failure
    // leaves an earlier file as it was.
    const std::string partial = path + ".part";
    DWORD error = ERROR_SUCCESS;
    HANDLE file = ::CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
    } else {
        bool written = history.ForEachText({0, 0}, history.End(), [file, &error](std::string_view piece) {
            const std::string text = WithCrLf(piece);
            DWORD done = 0;
            if (!::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) || done != text.size()) {
                error = ::GetLastError();
                return false;
            }
            return true;
        });
        if (written && !::FlushFileBuffers(file))
            error = ::GetLastError();
        ::CloseHandle(file);
        if (error == ERROR_SUCCESS && !written)
            error = ERROR_WRITE_FAULT;
        if (error == ERROR_SUCCESS &&
            !::MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            error = ::GetLastError();
        if (error != ERROR_SUCCESS)
            ::DeleteFileA(partial.c_str());
    }
    if (error != ERROR_SUCCESS) {
        Win32MessageBox::Show(::GetAncestor(window, GA_ROOT),
                              "Couldn't save the results to " + path + ":\n" + SystemErrorText(error),
                              MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}
