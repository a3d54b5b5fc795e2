#pragma once

#include "BootloaderInduction.h"

#include <windows.h>

#include <memory>
#include <string>

class SerialPort;

// "Entering Bootloader" (dialog 129): opens the selected port itself at
// 115200 8N1 and runs the induction steps, each a message the dialog posts to
// itself, until the bootloader answers or the operator cancels. Between two
// "IIIII" rounds a timer gives the window its turn, so Cancel and painting
// work throughout.
class BootloaderDialogWindow {
public:
    static constexpr UINT WM_BOOT_PROBE = WM_USER;
    static constexpr UINT WM_BOOT_INDUCE = WM_USER + 1;
    static constexpr UINT WM_BOOT_CONFIRM = WM_USER + 2;

    // Pause between two rounds of Induce or Confirm.
    static constexpr UINT InducePauseMs = 40;

    // Opens the port ("\\.\" and the name); `shown` receives every byte read.
    BootloaderDialogWindow(const std::string& portName, BootloaderInduction::Sink shown);
    ~BootloaderDialogWindow();

    // IDOK when the terminal is in its bootloader; IDCANCEL otherwise, also
    // when the port could not be opened (then after "Unable to open serial port!").
    INT_PTR Run(HINSTANCE instance, HWND parent);
    bool HasPort() const { return port != nullptr; }
    HWND Window() const { return window; }

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CentreOverParent();
    void End(INT_PTR result); // releases the port first, on every path

    std::unique_ptr<SerialPort> port;
    BootloaderInduction induction;
    HWND window = nullptr;
};
