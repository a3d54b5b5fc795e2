#include "PortListWatcher.h"

PortListWatcher::PortListWatcher(QObject* parent) : QObject(parent)
{
    settle.setSingleShot(true);
    settle.setInterval(SettleMs);
    connect(&settle, &QTimer::timeout, this, &PortListWatcher::Changed);
    if (watch.Descriptor() < 0)
        return; // no inotify: the list is still refreshed whenever it is opened
    notifier = std::make_unique<QSocketNotifier>(watch.Descriptor(), QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &PortListWatcher::OnReadable);
}

void PortListWatcher::OnReadable()
{
    if (watch.TakeChanges())
        settle.start();
}
