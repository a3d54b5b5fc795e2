#pragma once

#include <cstdint>
#include <string>

// The lock named "WinSerialMutex" that guards every port's notification
// fields, shared by all port objects of all processes of this user. It is only
// ever tried, never waited for. Inside the process a mutex stands for it;
// between processes, on Linux an advisory flock on a lock file of that name in
// the user's runtime folder, on Windows the named mutex itself; the system
// releases either when a process dies.
class SystemSerialLock {
public:
    SystemSerialLock() = default;
    ~SystemSerialLock();
    SystemSerialLock(const SystemSerialLock&) = delete;
    SystemSerialLock& operator=(const SystemSerialLock&) = delete;

    // Opens (creating if absent, with its folder) the lock file or the named
    // mutex; false when it cannot, or when what has the lock file's name is a
    // link or not the user's own file.
    bool Open();
    void Close();
    bool IsOpen() const { return handle != Closed; }

    // True when acquired at once. Without an open lock only the in-process
    // mutex is taken.
    bool TryLock();
    // False when the lock file could not be released.
    bool Unlock();

    static constexpr const char* Name = "WinSerialMutex";
    // Linux: the lock file. Windows: the mutex's name.
    static std::string FilePath();

private:
    static constexpr intptr_t Closed = -1;
    // The lock file's descriptor, or the named mutex's handle.
    intptr_t handle = Closed;
};
