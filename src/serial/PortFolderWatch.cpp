#include "PortFolderWatch.h"

#include "UserFolders.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Entries that name a serial port: tty devices in /dev (ttyS, ttyUSB, ttyACM)
// and COM aliases. Other entries come and go in /dev all the time.
bool NamesAPort(const char* name)
{
    return std::strncmp(name, "tty", 3) == 0 || std::strncmp(name, "COM", 3) == 0;
}

constexpr uint32_t WatchedEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

} // namespace

PortFolderWatch::PortFolderWatch()
{
    const std::string aliases = UserFolders::ComAliasFolder();
    UserFolders::MakeFolder(aliases);
    Watch({"/dev", aliases});
}

PortFolderWatch::PortFolderWatch(const std::vector<std::string>& folders)
{
    Watch(folders);
}

void PortFolderWatch::Watch(const std::vector<std::string>& folders)
{
    fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return;
    bool any = false;
    for (const std::string& folder : folders)
        any = ::inotify_add_watch(fd, folder.c_str(), WatchedEvents) >= 0 || any;
    if (!any) {
        ::close(fd);
        fd = -1;
    }
}

PortFolderWatch::~PortFolderWatch()
{
    if (fd >= 0)
        ::close(fd);
}

bool PortFolderWatch::TakeChanges()
{
    if (fd < 0)
        return false;
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return changed; // EAGAIN: nothing more waits
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if ((event->mask & IN_Q_OVERFLOW) != 0 || (event->len > 0 && NamesAPort(event->name)))
                changed = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}
