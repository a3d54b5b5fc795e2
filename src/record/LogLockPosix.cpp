#include "LogLock.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

// The first retry comes soon (a holder writes one line), later ones less often.
constexpr std::chrono::milliseconds FirstRetry{1};
constexpr std::chrono::milliseconds LongestRetry{50};

} // namespace

LogLock::~LogLock()
{
    Release();
}

bool LogLock::Acquire(const std::string& lockPath, Mode mode, std::chrono::milliseconds limit, std::string& error)
{
    Release();
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    // A reader of a log it may not write still locks it, read-only.
    if (fd < 0 && mode == Mode::Shared)
        fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + lockPath + ": " + std::strerror(errno);
        return false;
    }
    const int operation = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto pause = FirstRetry;
    for (;;) {
        if (::flock(fd, operation) == 0) {
            handle = fd;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error = "cannot lock " + lockPath + ": " + std::strerror(errno);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error = lockPath + " stayed locked by another program";
            break;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, LongestRetry);
    }
    ::close(fd);
    return false;
}

void LogLock::Release()
{
    if (handle < 0)
        return;
    // Closing the descriptor lets go of its lock.
    ::close(static_cast<int>(handle));
    handle = -1;
}
