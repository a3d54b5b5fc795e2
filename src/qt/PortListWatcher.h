#pragma once

#include "PortFolderWatch.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>

// Wires the device and alias folder watch to the window's event loop: Changed
// comes once a burst of comings and goings has settled (plugging in one adapter
// makes several entries in /dev at once).
class PortListWatcher : public QObject {
    Q_OBJECT
public:
    explicit PortListWatcher(QObject* parent = nullptr);

signals:
    void Changed();

private:
    void OnReadable();

    // Long enough for a burst to end, short enough to look immediate.
    static constexpr int SettleMs = 150;

    PortFolderWatch watch;
    // Declared after the watch, so it lets go of the descriptor before the
    // watch closes it.
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer settle;
};
