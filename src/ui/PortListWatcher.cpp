#include "PortListWatcher.h"

#include <QSocketNotifier>

PortListWatcher::PortListWatcher(QObject* parent) : QObject(parent)
{
    settle.setSingleShot(true);
    settle.setInterval(SettleMs);
    connect(&settle, &QTimer::timeout, this, &PortListWatcher::Changed);
    if (watch.Descriptor() < 0)
        return; // no inotify: the list is still refreshed whenever it is opened
    notifier = new QSocketNotifier(watch.Descriptor(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &PortListWatcher::OnReadable);
}

void PortListWatcher::OnReadable()
{
    if (watch.TakeChanges())
        settle.start();
}
