#pragma once

#include "NotifyTarget.h"

#include <QObject>

class MainDialog;

// Carries a serial port's notifications from its I/O thread to the main window.
// One relay lives as long as the application, so a port that outlives a window
// never posts to a destroyed object; the relay forwards on the UI thread to the
// window registered at that moment, if any.
class QtNotifyTarget : public QObject, public NotifyTarget {
    Q_OBJECT
public:
    static QtNotifyTarget* Instance();

    void Post(uint32_t message) override; // any thread
    void SetWindow(MainDialog* window);   // UI thread; none while no window listens

protected:
    bool event(QEvent* event) override;

private:
    QtNotifyTarget() = default;
    MainDialog* window = nullptr;
};
