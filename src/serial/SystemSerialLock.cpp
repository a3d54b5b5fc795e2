#include "SystemSerialLock.h"

#include "UserFolders.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <mutex>

namespace {

// One for the whole process: every port object shares the same named lock.
std::mutex& ProcessMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

SystemSerialLock::~SystemSerialLock()
{
    Close();
}

std::string SystemSerialLock::FilePath()
{
    return UserFolders::RuntimeFolder() + "/" + Name;
}

bool SystemSerialLock::Open()
{
    if (fd >= 0)
        return true;
    fd = ::open(FilePath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    return fd >= 0;
}

void SystemSerialLock::Close()
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool SystemSerialLock::TryLock()
{
    if (!ProcessMutex().try_lock())
        return false;
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ProcessMutex().unlock();
        return false;
    }
    return true;
}

bool SystemSerialLock::Unlock()
{
    const bool released = fd < 0 || ::flock(fd, LOCK_UN) == 0;
    ProcessMutex().unlock();
    return released;
}
