#include "SystemSerialLock.h"

#include "UserFolders.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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
    if (handle != Closed)
        return true;
    UserFolders::MakeFolder(UserFolders::RuntimeFolder());
    // Never through a link, and only a plain file of our own: anything else of
    // that name is someone else's, and locking it would tie us to them.
    const int opened = ::open(FilePath().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (opened < 0)
        return false;
    struct stat status {};
    if (::fstat(opened, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) {
        ::close(opened);
        return false;
    }
    handle = opened;
    return true;
}

void SystemSerialLock::Close()
{
    if (handle != Closed) {
        ::close(static_cast<int>(handle));
        handle = Closed;
    }
}

bool SystemSerialLock::TryLock()
{
    if (!ProcessMutex().try_lock())
        return false;
    if (handle != Closed && ::flock(static_cast<int>(handle), LOCK_EX | LOCK_NB) != 0) {
        ProcessMutex().unlock();
        return false;
    }
    return true;
}

bool SystemSerialLock::Unlock()
{
    const bool released = handle == Closed || ::flock(static_cast<int>(handle), LOCK_UN) == 0;
    ProcessMutex().unlock();
    return released;
}
