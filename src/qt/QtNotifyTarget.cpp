#include "QtNotifyTarget.h"

#include "MainDialog.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

const QEvent::Type NotifyEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class NotifyEvent : public QEvent {
public:
    explicit NotifyEvent(uint32_t message) : QEvent(NotifyEventType), message(message) {}
    uint32_t message;
};

} // namespace

QtNotifyTarget* QtNotifyTarget::Instance()
{
    static QtNotifyTarget* relay = [] {
        auto* created = new QtNotifyTarget();
        created->setParent(QCoreApplication::instance());
        return created;
    }();
    return relay;
}

void QtNotifyTarget::Post(uint32_t message)
{
    QCoreApplication::postEvent(this, new NotifyEvent(message));
}

void QtNotifyTarget::SetWindow(MainDialog* target)
{
    window = target;
}

bool QtNotifyTarget::event(QEvent* event)
{
    if (event->type() != NotifyEventType)
        return QObject::event(event);
    if (window)
        window->OnSerialNotification(static_cast<NotifyEvent*>(event)->message);
    return true;
}
