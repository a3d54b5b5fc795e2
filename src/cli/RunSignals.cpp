#include "RunSignals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>

RunSignals::~RunSignals()
{
    if (signalFd >= 0)
        ::close(static_cast<int>(signalFd));
    if (wakeFd >= 0)
        ::close(static_cast<int>(wakeFd));
}

bool RunSignals::Install()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0)
        return false;
    signalFd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return signalFd >= 0 && wakeFd >= 0;
}

void RunSignals::Wake()
{
    const uint64_t one = 1;
    // A full counter already means "woken"; nothing else can go wrong here.
    [[maybe_unused]] ssize_t ignored = ::write(static_cast<int>(wakeFd), &one, sizeof one);
}

RunSignals::Event RunSignals::Wait(int timeoutMs)
{
    pollfd fds[2] = {{static_cast<int>(signalFd), POLLIN, 0}, {static_cast<int>(wakeFd), POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0)
        return Event::Failed;
    if (ready == 0)
        return Event::TimeUp;
    Event event = Event::Woken;
    if (fds[0].revents & POLLIN) {
        signalfd_siginfo info{};
        while (::read(static_cast<int>(signalFd), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            signals.fetch_add(1, std::memory_order_acq_rel);
            event = Event::Signal;
        }
    }
    if (fds[1].revents & POLLIN) {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t ignored = ::read(static_cast<int>(wakeFd), &count, sizeof count);
    }
    return event;
}
