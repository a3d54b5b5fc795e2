#pragma once

#include "NotifyTarget.h"

#include <windows.h>

#include <atomic>

// A serial port's notifications as window messages: Post queues the message
// number (WM_SERIAL_RECEIVED and the others) to the window with PostMessageA,
// which any thread may do and which never waits for the window.
class WindowNotifyTarget : public NotifyTarget {
public:
    explicit WindowNotifyTarget(HWND window = nullptr) : window(window) {}
    void SetWindow(HWND target) { window.store(target); }
    void Post(uint32_t message) override
    {
        if (HWND target = window.load())
            ::PostMessageA(target, message, 0, 0);
    }

private:
    std::atomic<HWND> window;
};
