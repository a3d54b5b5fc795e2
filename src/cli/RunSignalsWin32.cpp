#include "RunSignals.h"

#include <windows.h>

namespace {

// The console calls its control handler on a thread of its own and gives it no
// context: the one installed RunSignals is reached through these.
HANDLE gSignalEvent = nullptr;
std::atomic<int> gPendingSignals{0};

BOOL WINAPI OnConsoleControl(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        gPendingSignals.fetch_add(1, std::memory_order_acq_rel);
        ::SetEvent(gSignalEvent);
        return TRUE;
    default:
        return FALSE;
    }
}

HANDLE AsHandle(intptr_t value)
{
    return reinterpret_cast<HANDLE>(value);
}

} // namespace

RunSignals::~RunSignals()
{
    if (signalFd != -1) {
        ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
        gSignalEvent = nullptr;
        ::CloseHandle(AsHandle(signalFd));
    }
    if (wakeFd != -1)
        ::CloseHandle(AsHandle(wakeFd));
}

bool RunSignals::Install()
{
    // Auto-reset: one wait takes one wake-up, as reading an eventfd does.
    HANDLE signalEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE wakeEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (signalEvent != nullptr)
        signalFd = reinterpret_cast<intptr_t>(signalEvent);
    if (wakeEvent != nullptr)
        wakeFd = reinterpret_cast<intptr_t>(wakeEvent);
    if (signalEvent == nullptr || wakeEvent == nullptr)
        return false;
    gSignalEvent = signalEvent;
    return ::SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

void RunSignals::Wake()
{
    ::SetEvent(AsHandle(wakeFd));
}

RunSignals::Event RunSignals::Wait(int timeoutMs)
{
    HANDLE events[2] = {AsHandle(signalFd), AsHandle(wakeFd)};
    const DWORD result = ::WaitForMultipleObjects(2, events, FALSE, timeoutMs < 0 ? INFINITE : timeoutMs);
    if (result == WAIT_TIMEOUT)
        return Event::TimeUp;
    if (result == WAIT_OBJECT_0) {
        signals.fetch_add(gPendingSignals.exchange(0, std::memory_order_acq_rel), std::memory_order_acq_rel);
        // A wake-up that came with the signal is taken too, as on Linux.
        ::WaitForSingleObject(AsHandle(wakeFd), 0);
        return Event::Signal;
    }
    if (result == WAIT_OBJECT_0 + 1)
        return Event::Woken;
    return Event::Failed;
}
