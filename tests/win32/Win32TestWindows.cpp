#include "Win32TestWindows.h"

#include "ResultsBox.h"

#include <commctrl.h>

#include <chrono>
#include <cstdlib>

namespace Win32TestWindows {

HINSTANCE Instance()
{
    return ::GetModuleHandleA(nullptr);
}

void RegisterClasses()
{
    static bool done = false;
    if (done)
        return;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_INTERNET_CLASSES |
                                                        ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    ResultsBox::Register(Instance());
    WNDCLASSA host{};
    host.lpfnWndProc = ::DefWindowProcA;
    host.hInstance = Instance();
    host.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    host.lpszClassName = "VennixTestHost";
    ::RegisterClassA(&host);
    done = true;
}

HWND MakeHost(int width, int height)
{
    RegisterClasses();
    RECT frame{0, 0, width, height};
    ::AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND host = ::CreateWindowExA(0, "VennixTestHost", "Vennix test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, Instance(),
                                  nullptr);
    PumpPending();
    return host;
}

void PumpPending()
{
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        PumpPending();
        if (done())
            return true;
        // Sleeps only until something arrives or 10 ms pass.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

std::vector<COLORREF> Pixels(HWND window, int& width, int& height)
{
    RECT client{};
    ::GetClientRect(window, &client);
    width = client.right;
    height = client.bottom;
    HDC screen = ::GetDC(window);
    HDC context = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(context, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(context, bitmap);
    ::SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(context), PRF_CLIENT);
    ::GdiFlush();
    std::vector<COLORREF> pixels(static_cast<size_t>(width) * height);
    const auto* raw = static_cast<const DWORD*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i) {
        DWORD bgra = raw[i]; // blue in the low byte
        pixels[i] = RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF);
    }
    ::SelectObject(context, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(context);
    ::ReleaseDC(window, screen);
    return pixels;
}

bool HasPixel(const std::vector<COLORREF>& pixels, COLORREF colour)
{
    for (COLORREF pixel : pixels)
        if (pixel == colour)
            return true;
    return false;
}

void HoldKeys(std::initializer_list<int> keys)
{
    BYTE state[256];
    ::GetKeyboardState(state);
    for (int key : keys)
        state[key] |= 0x80;
    ::SetKeyboardState(state);
}

void ReleaseKeys()
{
    BYTE state[256];
    ::GetKeyboardState(state);
    for (int key : {VK_SHIFT, VK_LSHIFT, VK_RSHIFT, VK_CONTROL, VK_LCONTROL, VK_RCONTROL})
        state[key] &= 0x7F;
    ::SetKeyboardState(state);
}

std::string WindowText(HWND window)
{
    int length = ::GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    ::GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::string Named(const char* variable, const std::string& role)
{
    const char* value = std::getenv(variable);
    if (!value)
        return std::string();
    const std::string list = value;
    size_t at = 0;
    while (at < list.size()) {
        size_t end = list.find(',', at);
        if (end == std::string::npos)
            end = list.size();
        const std::string entry = list.substr(at, end - at);
        if (entry.rfind(role + "=", 0) == 0)
            return entry.substr(role.size() + 1);
        at = end + 1;
    }
    return std::string();
}

std::string ClipboardText()
{
    std::string text;
    if (!::OpenClipboard(nullptr))
        return text;
    if (HANDLE data = ::GetClipboardData(CF_TEXT)) {
        if (const char* chars = static_cast<const char*>(::GlobalLock(data))) {
            text = chars;
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

} // namespace Win32TestWindows
