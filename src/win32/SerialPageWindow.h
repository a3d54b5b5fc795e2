#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The page under the "Serial" tab (dialog 201): port, baud rate and data
// format for the console port, the string to transmit and bootloader
// induction. A change of any list is sent to the main window as message 1536.
class SerialPageWindow {
public:
    // Sent to the parent when the operator changes a list's selection.
    static constexpr UINT ReopenPortMessage = 0x600;

    static const std::vector<std::string>& BaudRates();
    static const std::vector<std::string>& DataFormats();

    // Makes the page's window as a hidden child of parent.
    bool Create(HINSTANCE instance, HWND parent);
    HWND Window() const { return window; }

    void FillPorts(const std::vector<std::string>& ports);
    // Selects the first item, searching from the second round to the first,
    // that begins with text, ignoring case; nothing changes when none does.
    void SelectStored(int listId, const std::string& text);

    void ReadControls();  // baudIndex and formatIndex from the lists
    void WriteControls(); // the lists from baudIndex and formatIndex

    std::string PortText() const;
    std::string BaudText() const;
    std::string FormatText() const;

    int baudIndex = -1;
    int formatIndex = -1;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    std::string ListText(int listId) const;

    HWND window = nullptr;
};
