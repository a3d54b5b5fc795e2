#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// An advisory lock on a file beside the log, held while the log's files are
// written, rotated or read, so that processes and threads that record at once
// leave whole lines. flock on Linux, LockFileEx on Windows; each holder opens the
// lock file itself, so threads of one process exclude each other as processes do.
// The lock goes with the process, should it die holding it.
class LogLock {
public:
    enum class Mode { Shared, Exclusive };

    LogLock() = default;
    ~LogLock();
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

    // Takes the lock on lockPath (made when missing), trying for at most
    // `limit`, so that a stuck holder costs a record and never a hang. False
    // with the reason in `error`.
    bool Acquire(const std::string& lockPath, Mode mode, std::chrono::milliseconds limit, std::string& error);
    void Release();

private:
    // The lock file's descriptor (Linux) or handle (Windows); -1 when none.
    intptr_t handle = -1;
};
