#include "LogLock.h"

#include <windows.h>

#include <algorithm>
#include <thread>

namespace {

constexpr std::chrono::milliseconds FirstRetry{1};
constexpr std::chrono::milliseconds LongestRetry{50};

std::string LastErrorText()
{
    char text[256] = {};
    const DWORD code = ::GetLastError();
    if (::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                         sizeof text, nullptr) == 0)
        return "error " + std::to_string(code);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

} // namespace

LogLock::~LogLock()
{
    Release();
}

bool LogLock::Acquire(const std::string& lockPath, Mode mode, std::chrono::milliseconds limit, std::string& error)
{
    Release();
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = ::CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && mode == Mode::Shared)
        file = ::CreateFileA(lockPath.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot open " + lockPath + ": " + LastErrorText();
        return false;
    }
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (mode == Mode::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto pause = FirstRetry;
    for (;;) {
        OVERLAPPED at{};
        if (::LockFileEx(file, flags, 0, 1, 0, &at)) {
            handle = reinterpret_cast<intptr_t>(file);
            return true;
        }
        if (::GetLastError() != ERROR_LOCK_VIOLATION) {
            error = "cannot lock " + lockPath + ": " + LastErrorText();
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error = lockPath + " stayed locked by another program";
            break;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, LongestRetry);
    }
    ::CloseHandle(file);
    return false;
}

void LogLock::Release()
{
    if (handle == -1)
        return;
    HANDLE file = reinterpret_cast<HANDLE>(handle);
    OVERLAPPED at{};
    ::UnlockFileEx(file, 0, 1, 0, &at);
    ::CloseHandle(file);
    handle = -1;
}
