#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The page under the "Ethernet" tab (dialog 202): the unit's address in an IP
// address control and the four most recently used addresses. It only draws:
// a pick from the history goes to the main window as its command.
class EthernetPageWindow {
public:
    bool Create(HINSTANCE instance, HWND parent);
    HWND Window() const { return window; }

    // The history list's rows, empty ones included; none selected.
    void ShowHistory(const std::vector<std::string>& rows);
    void SetAddress(const std::array<uint8_t, 4>& bytes);
    std::array<uint8_t, 4> Address() const; // an empty field reads as 0

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window = nullptr;
};
