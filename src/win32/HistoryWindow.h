#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class HistoryTable;

// The download history on Win32 (dialog 204): the table's rows in a report
// list, newest first. Copy puts the selected rows (all of them when none is
// selected) on the clipboard as tab-separated text, as Ctrl+C in the list
// does; Export CSV writes every shown record with all its fields to a file.
class HistoryWindow {
public:
    // The table must stay as it is while the dialog lives.
    explicit HistoryWindow(const HistoryTable& table);

    // Modal over owner; ends with Close, Esc or the close box.
    int Run(HINSTANCE instance, HWND owner);

    HWND Window() const { return window; }
    HWND List() const;

    // Save-file dialog seam for tests: the chosen path, or empty on Cancel.
    std::function<std::string()> chooseExportPath;
    // Called once the dialog shows, inside its modal run (tests drive it from here).
    std::function<void(HistoryWindow&)> shown;

    // The list's selected rows, in the table's order.
    std::vector<size_t> SelectedRows() const;
    void CopySelection();
    void Export();

private:
    // Posted once the dialog is shown, so that `shown` sees it as the operator would.
    static constexpr UINT ShownMessage = WM_APP + 2;

    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Fill();
    std::string ChooseExportPath();

    const HistoryTable& table;
    HWND window = nullptr;
    bool shownPosted = false;
};
