#pragma once

#include "ConsoleHistory.h"

#include <windows.h>

#include <cstdint>
#include <string>

// The results box: a window class of its own that draws a ConsoleHistory with
// GDI, only the rows in sight, in a fixed-pitch font the height of the
// dialog's. Neither an append nor a repaint costs more as the history grows,
// which a rich edit holding a shift's traffic cannot promise. Appends are
// gathered and shown once per frame, with the last row brought into view.
// Text is selected with the mouse or the keyboard (Shift with the arrows,
// Home, End, Page Up, Page Down), copied with Ctrl+C and selected whole with
// Ctrl+A; the context menu also saves the results to a file.
//
// A dialog template names the class (VENNIX_RESULTS_CLASS) and the window
// makes its own object; FromWindow finds it.
class ResultsBox {
public:
    using Position = ConsoleHistory::Position;

    enum MenuCommand : UINT { CommandCopy = 1, CommandSelectAll, CommandSave };

    // Registers the window class once per process.
    static bool Register(HINSTANCE instance);
    static ResultsBox* FromWindow(HWND window);

    // colour is 0x00BBGGRR; it applies only when `coloured` is true.
    void AppendBytes(const uint8_t* bytes, size_t count, bool coloured, uint32_t colour);
    void AppendMessage(const std::string& text, bool coloured, uint32_t colour);
    void Clear(); // the history, the selection and their memory

    const ConsoleHistory& History() const { return history; }
    HWND Window() const { return window; }

    bool HasSelection() const { return anchor != caret; }
    // The selection as shown, rows joined by CR LF as Windows text is.
    std::string SelectedText() const;
    void Select(Position from, Position to);
    void SelectAll();
    // Puts the selection on the clipboard; false when nothing is selected or
    // the clipboard is held by another program.
    bool CopySelection() const;

    // Writes the whole history as shown (CR LF line ends, tags included) to
    // path, replacing a file only once everything is written. A failure is told
    // to the operator with its reason.
    bool SaveResults(const std::string& path);

    // The colour a run is drawn in: the window-text colour for received data,
    // the run's own when coloured, grey for labels, and tags dimmed towards the
    // background.
    COLORREF ColourOf(const ConsoleHistory::Run& run) const;

    // The rows in view once what has been appended so far is shown.
    size_t FirstVisibleRow();
    size_t VisibleRows() const;
    int LineHeight() const { return lineHeight; }
    int CharWidth() const { return charWidth; }
    // The window point at the middle of a place in the text, for tests and
    // for the keyboard's context menu.
    POINT PointOf(Position position) const;

private:
    explicit ResultsBox(HWND window);
    ~ResultsBox();

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    void Paint();
    void Draw(HDC target); // the client area, drawn off screen and copied
    void SetFont(HFONT dialogFont);
    void ShowAppended(); // once per frame
    void UpdateScrollBars();
    void ScrollTo(size_t row, int left);
    void OnScroll(int bar, WORD request);
    void OnKey(WPARAM key);
    void ShowContextMenu(LPARAM lParam);
    void AskAndSave();
    Position PositionAt(int x, int y) const;
    Position Clamped(Position position) const;
    void MoveCaret(Position to, bool extend);
    void BringIntoView(Position position);
    int ColumnX(size_t column) const;
    int ClientWidth() const;
    int ClientHeight() const;
    size_t MaxTopRow() const;
    int MaxLeft() const;

    HWND window;
    ConsoleHistory history;
    HFONT font = nullptr;
    int charWidth = 8;
    int lineHeight = 16;
    size_t topRow = 0;
    int left = 0; // pixels scrolled to the right
    bool appendPending = false;
    bool timerRunning = false;
    Position anchor;
    Position caret;
    bool dragging = false; // the mouse is selecting: the view stays where it is
};
