#pragma once

#include "SerialList.h"

#include <windows.h>

#include <string>
#include <vector>

// The page under the "Serial" tab (dialog 201): port, baud rate and data
// format for the console port, the string to transmit and bootloader
// induction. It only draws: the operator's changes go to the main window as
// message 1536 (wParam: the list's id), its buttons as the main window's
// commands.
class SerialPageWindow {
public:
    // Sent to the parent when the operator changes a list's selection.
    static constexpr UINT ReopenPortMessage = 0x600;

    // Makes the page's window as a hidden child of parent.
    bool Create(HINSTANCE instance, HWND parent);
    HWND Window() const { return window; }

    static int ControlId(SerialList list);
    // The list of a control id; false for other controls.
    static bool ListOf(int controlId, SerialList& list);

    // The items in the order given (the port list's sorted style aside) and
    // the selection (-1: none).
    void ShowList(SerialList list, const std::vector<std::string>& items, int selected);
    void Select(SerialList list, int index);
    int Selection(SerialList list) const;
    std::string TransmitText() const;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window = nullptr;
};
