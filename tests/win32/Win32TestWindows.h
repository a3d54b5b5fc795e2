#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Helpers for the tests that drive real windows in process: the classes the
// program registers, a host window, the message queue run until a condition
// holds, and the pixels a window paints.
namespace Win32TestWindows {

HINSTANCE Instance();
// Common controls and the results box's class, once per process.
void RegisterClasses();
// A visible top-level window of the given client size that children can live in.
HWND MakeHost(int width, int height);
// Dispatches messages until done() holds or the time is up; true when it held.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);
void PumpPending();
// The window's client area as it paints it (WM_PRINTCLIENT), as 0x00BBGGRR pixels.
std::vector<COLORREF> Pixels(HWND window, int& width, int& height);
bool HasPixel(const std::vector<COLORREF>& pixels, COLORREF colour);
// Holds keys down in this thread's key state, as GetKeyState reads it.
void HoldKeys(std::initializer_list<int> keys);
void ReleaseKeys();
std::string WindowText(HWND window);
// What scripts/test-windows.sh named `role` in an environment variable that
// holds "role=value,role=value"; empty when it did not.
std::string Named(const char* variable, const std::string& role);
std::string ClipboardText();

} // namespace Win32TestWindows
