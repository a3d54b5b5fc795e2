#pragma once

#include <string>

// The lock named "WinSerialMutex" that guards every port's notification
// fields, shared by all port objects of all processes of this user. It is only
// ever tried, never waited for. Inside the process a mutex stands for it;
// between processes an advisory flock on a lock file of that name in the
// user's runtime folder, which the kernel releases when a process dies.
class SystemSerialLock {
public:
    SystemSerialLock() = default;
    ~SystemSerialLock();
    SystemSerialLock(const SystemSerialLock&) = delete;
    SystemSerialLock& operator=(const SystemSerialLock&) = delete;

    // Opens (creating if absent, with its folder) the lock file; false when it
    // cannot, or when what has its name is a link or not the user's own file.
    bool Open();
    void Close();
    bool IsOpen() const { return fd >= 0; }

    // True when acquired at once. Without an open lock file only the
    // in-process mutex is taken.
    bool TryLock();
    // False when the lock file could not be released.
    bool Unlock();

    static constexpr const char* Name = "WinSerialMutex";
    static std::string FilePath();

private:
    int fd = -1;
};
