#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

class AppSettings;

// The page under the "Ethernet" tab (dialog 202): the unit's address in an IP
// address control and the four most recently used addresses.
class EthernetPageWindow {
public:
    explicit EthernetPageWindow(AppSettings& settings) : settings(settings) {}

    bool Create(HINSTANCE instance, HWND parent);
    HWND Window() const { return window; }

    // The history list from ip1..ip4, empty entries included; none selected.
    void FillRecentAddresses();
    void SetAddress(const std::array<uint8_t, 4>& bytes);
    std::array<uint8_t, 4> Address() const; // an empty field reads as 0

    std::string addressText;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnRecentAddressSelected();

    AppSettings& settings;
    HWND window = nullptr;
};
