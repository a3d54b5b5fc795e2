#include "SystemSerialLock.h"

#include <windows.h>

#include <mutex>

namespace {

// One for the whole process. A Win32 mutex may be taken again by the thread
// that holds it, so on its own it would not keep two threads of one process
// apart when one of them asks twice; this one does.
std::mutex& ProcessMutex()
{
    static std::mutex mutex;
    return mutex;
}

HANDLE AsHandle(intptr_t value)
{
    return reinterpret_cast<HANDLE>(value);
}

} // namespace

SystemSerialLock::~SystemSerialLock()
{
    Close();
}

std::string SystemSerialLock::FilePath()
{
    return Name;
}

bool SystemSerialLock::Open()
{
    if (handle != Closed)
        return true;
    // Opens the lock when another port object or program made it already.
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, Name);
    if (mutex == nullptr)
        return false;
    handle = reinterpret_cast<intptr_t>(mutex);
    return true;
}

void SystemSerialLock::Close()
{
    if (handle != Closed) {
        ::CloseHandle(AsHandle(handle));
        handle = Closed;
    }
}

bool SystemSerialLock::TryLock()
{
    if (!ProcessMutex().try_lock())
        return false;
    if (handle == Closed)
        return true;
    // An abandoned lock (its holder died holding it) is ours now, and the
    // fields it guards are only flags that the holder's death left valid.
    const DWORD result = ::WaitForSingleObject(AsHandle(handle), 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
        return true;
    ProcessMutex().unlock();
    return false;
}

bool SystemSerialLock::Unlock()
{
    const bool released = handle == Closed || ::ReleaseMutex(AsHandle(handle)) != 0;
    ProcessMutex().unlock();
    return released;
}
