#include "BootloaderDialogWindow.h"

#include "ResourceIds.h"
#include "SerialPort.h"
#include "Win32MessageBox.h"

namespace {

// The timers that hand the next round back as a step message.
constexpr UINT_PTR InduceTimer = 1;
constexpr UINT_PTR ConfirmTimer = 2;

} // namespace

BootloaderDialogWindow::BootloaderDialogWindow(const std::string& portName, BootloaderInduction::Sink shown)
    : port(std::make_unique<SerialPort>()), induction(std::move(shown))
{
    // The bootloader always listens at 115200 8N1.
    if (!port->Open("\\\\.\\" + portName, 115200, 0, NoParity, OneStopBit, 8, FlowControl::None))
        port.reset();
}

BootloaderDialogWindow::~BootloaderDialogWindow() = default;

INT_PTR BootloaderDialogWindow::Run(HINSTANCE instance, HWND parent)
{
    if (!port) {
        Win32MessageBox::Show(parent, "Unable to open serial port!");
        return IDCANCEL;
    }
    return ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_BOOTLOADER), parent, &BootloaderDialogWindow::Procedure,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK BootloaderDialogWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<BootloaderDialogWindow*>(lParam);
        self->window = window;
        ::PostMessageA(window, WM_BOOT_PROBE, 0, 0);
        self->CentreOverParent();
        return TRUE;
    }
    auto* self = reinterpret_cast<BootloaderDialogWindow*>(::GetWindowLongPtrA(window, DWLP_USER));
    return self ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR BootloaderDialogWindow::Handle(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_BOOT_PROBE:
    case WM_BOOT_INDUCE:
    case WM_BOOT_CONFIRM:
        // A step that arrives after Cancel finds no port.
        if (!port) {
            End(IDCANCEL);
            return TRUE;
        }
        if (message == WM_BOOT_PROBE) {
            ::UpdateWindow(window);
            switch (induction.Probe(*port)) {
            case BootloaderInduction::ProbeResult::InBootloader: End(IDOK); break;
            // Probe again, but through the queue: an apploader that keeps
            // answering would otherwise freeze the window.
            case BootloaderInduction::ProbeResult::ResetSent: ::PostMessageA(window, WM_BOOT_PROBE, 0, 0); break;
            case BootloaderInduction::ProbeResult::NotRecognised: ::PostMessageA(window, WM_BOOT_INDUCE, 0, 0); break;
            }
        } else if (message == WM_BOOT_INDUCE) {
            if (induction.Induce(*port))
                ::PostMessageA(window, WM_BOOT_CONFIRM, 0, 0);
            else
                ::SetTimer(window, InduceTimer, InducePauseMs, nullptr);
        } else {
            if (induction.Confirm(*port))
                End(IDOK);
            else
                ::SetTimer(window, ConfirmTimer, InducePauseMs, nullptr);
        }
        return TRUE;
    case WM_TIMER:
        if (wParam == InduceTimer || wParam == ConfirmTimer) {
            ::KillTimer(window, wParam);
            ::PostMessageA(window, wParam == InduceTimer ? WM_BOOT_INDUCE : WM_BOOT_CONFIRM, 0, 0);
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        // Cancel, Esc and the close box.
        if (LOWORD(wParam) == IDCANCEL) {
            End(IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

void BootloaderDialogWindow::CentreOverParent()
{
    HWND parent = ::GetParent(window);
    RECT outer{};
    RECT own{};
    if (!parent || !::GetWindowRect(parent, &outer) || !::GetWindowRect(window, &own))
        return;
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int left = outer.left + ((outer.right - outer.left) - width) / 2;
    const int top = outer.top + ((outer.bottom - outer.top) - height) / 2;
    ::SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void BootloaderDialogWindow::End(INT_PTR result)
{
    ::KillTimer(window, InduceTimer);
    ::KillTimer(window, ConfirmTimer);
    port.reset(); // closes the device before anything else can reach it
    ::EndDialog(window, result);
}
