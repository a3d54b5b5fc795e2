#include "QtDownloadReporter.h"

#include "DownloadProgressDialog.h"
#include "MainDialog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QThread>

namespace {

// Runs `action` on the UI thread and waits for it. Workers never run on the UI
// thread, but a direct call keeps a test that reports from it from deadlocking.
template <typename Action> void OnUiThread(MainDialog& window, Action action)
{
    if (QThread::currentThread() == window.thread())
        action();
    else
        QMetaObject::invokeMethod(&window, action, Qt::BlockingQueuedConnection);
}

} // namespace

void QtDownloadReporter::SetProgress(int percent)
{
    OnUiThread(window, [percent] {
        if (gProgressDialog)
            gProgressDialog->SetProgress(percent);
    });
}

bool QtDownloadReporter::IsCancelled()
{
    return gProgressDialog && gProgressDialog->cancelRequested.load(std::memory_order_acquire);
}

void QtDownloadReporter::ShowStatus(const std::string& text)
{
    QString status = QString::fromStdString(text);
    OnUiThread(window, [status] {
        if (gProgressDialog)
            gProgressDialog->StatusLine()->setText(status);
    });
}

void QtDownloadReporter::Finish()
{
    MainDialog* target = &window;
    OnUiThread(window, [target] { target->OnDownloadFinished(); });
}
