#include "QtDownloadReporter.h"

#include "QtMainDialog.h"

#include <QMetaObject>
#include <QThread>

namespace {

// Runs `action` on the UI thread and waits for it. Workers never run on the UI
// thread, but a direct call keeps a test that reports from it from deadlocking.
template <typename Action> void OnUiThread(QtMainDialog& window, Action action)
{
    if (QThread::currentThread() == window.thread())
        action();
    else
        QMetaObject::invokeMethod(&window, action, Qt::BlockingQueuedConnection);
}

} // namespace

void QtDownloadReporter::SetProgress(int percent)
{
    QtMainDialog* target = &window;
    OnUiThread(window, [target, percent] { target->Window().SetProgress(percent); });
}

bool QtDownloadReporter::IsCancelled()
{
    return window.Window().IsCancelled();
}

void QtDownloadReporter::ShowStatus(const std::string& text)
{
    QtMainDialog* target = &window;
    OnUiThread(window, [target, &text] { target->Window().ShowStatus(text); });
}

void QtDownloadReporter::Finish()
{
    QtMainDialog* target = &window;
    OnUiThread(window, [target] { target->Window().Finish(); });
}
