#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

PtyPair::PtyPair()
{
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0)
        return;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        CloseMaster();
        return;
    }
    char name[128];
    if (::ptsname_r(master, name, sizeof name) != 0) {
        CloseMaster();
        return;
    }
    slavePath = name;
    // Raw on both sides, so no line discipline translates test bytes.
    termios tio {};
    if (::tcgetattr(master, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(master, TCSANOW, &tio);
    }
}

PtyPair::~PtyPair()
{
    CloseMaster();
}

void PtyPair::CloseMaster()
{
    if (master >= 0) {
        ::close(master);
        master = -1;
    }
}

void PtyPair::Send(const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd fd { master, POLLOUT, 0 };
            ::poll(&fd, 1, 100);
        }
    }
}

std::vector<uint8_t> PtyPair::Receive(size_t count, int timeoutMs)
{
    std::vector<uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd fd { master, POLLIN, 0 };
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
            continue;
        uint8_t buffer[4096];
        const size_t want = std::min(sizeof buffer, count - got.size());
        const ssize_t n = ::read(master, buffer, want);
        if (n > 0)
            got.insert(got.end(), buffer, buffer + n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    return got;
}

std::vector<uint8_t> PtyPair::ReceiveUntilQuiet(int quietMs)
{
    std::vector<uint8_t> got;
    for (;;) {
        pollfd fd { master, POLLIN, 0 };
        if (::poll(&fd, 1, quietMs) <= 0)
            return got;
        uint8_t buffer[4096];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0)
            got.insert(got.end(), buffer, buffer + n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return got;
    }
}
