#pragma once

#include <string>
#include <vector>

// Tells when serial devices or port aliases may have come or gone, by watching
// the folders they appear in (/dev and the per-user alias folder) with inotify,
// so that a port list can follow the adapters without polling.
//
// It has no thread: the owner waits until Descriptor() is readable (poll, or
// the window's event loop) and then calls TakeChanges(). Used by one thread.
class PortFolderWatch {
public:
    // /dev and the alias folder; the alias folder is made when missing, so that
    // the aliases made later are seen too.
    PortFolderWatch();
    explicit PortFolderWatch(const std::vector<std::string>& folders);
    ~PortFolderWatch();
    PortFolderWatch(const PortFolderWatch&) = delete;
    PortFolderWatch& operator=(const PortFolderWatch&) = delete;

    // Readable when events wait; -1 when nothing could be watched.
    int Descriptor() const { return fd; }
    // Reads every waiting event without blocking. True when one of them is a
    // tty device or a COM alias that appeared, went or was renamed, or when
    // events were lost (so the list may be stale).
    bool TakeChanges();

private:
    void Watch(const std::vector<std::string>& folders);

    int fd = -1;
};
