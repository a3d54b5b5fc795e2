#include "DownloadProgressDialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

DownloadProgressDialog* gProgressDialog = nullptr;

DownloadProgressDialog::DownloadProgressDialog(QWidget* owner)
    : QDialog(owner), progressBar(new QProgressBar(this)), statusLine(new QLabel(this)), rateLine(new QLabel(this)),
      cancelButton(new QPushButton("Cancel", this))
{
    // A caption but no close box: only Cancel, or the end of the download, hides it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle("Ethernet Download Progress");
    setModal(false);

    statusLine->setAlignment(Qt::AlignCenter);
    statusLine->setWordWrap(true);
    statusLine->setMinimumHeight(statusLine->fontMetrics().lineSpacing() * 2);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    rateLine->setAlignment(Qt::AlignCenter);
    // Keeps its height while blank, so the dialog does not jump when it fills.
    rateLine->setMinimumHeight(rateLine->fontMetrics().lineSpacing());
    cancelButton->setAutoDefault(false);
    rateRefresh.setInterval(RateRefreshMs);
    connect(&rateRefresh, &QTimer::timeout, this, &DownloadProgressDialog::ShowRate);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(statusLine);
    layout->addWidget(progressBar);
    layout->addWidget(rateLine);
    layout->addWidget(cancelButton, 0, Qt::AlignHCenter);
    setMinimumWidth(statusLine->fontMetrics().horizontalAdvance(QString(64, 'x')));

    connect(cancelButton, &QPushButton::clicked, this, &DownloadProgressDialog::CancelPressed);
}

void DownloadProgressDialog::ShowOver(QWidget* owner, const QString& caption, int64_t totalBytes)
{
    // Horizontally centred over the owner, three tenths of the way down.
    adjustSize();
    const QRect main = owner->frameGeometry();
    const QSize size = frameGeometry().size();
    move(static_cast<int>(main.left() + 0.5 * (main.width() - size.width())),
         static_cast<int>(main.top() + 0.3 * (main.height() - size.height())));
    setWindowTitle(caption);
    statusLine->clear();
    estimate.Start(totalBytes);
    rateLine->clear();
    show();
    raise();
}

void DownloadProgressDialog::SetProgress(int percent)
{
    progressBar->setValue(percent);
    estimate.Progress(percent, TransferEstimate::Clock::now());
}

void DownloadProgressDialog::ShowRate()
{
    const QString text = QString::fromStdString(estimate.Text(TransferEstimate::Clock::now()));
    if (text != rateLine->text())
        rateLine->setText(text);
}

void DownloadProgressDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    rateRefresh.start();
}

void DownloadProgressDialog::hideEvent(QHideEvent* event)
{
    rateRefresh.stop();
    QDialog::hideEvent(event);
}

void DownloadProgressDialog::reject()
{
    emit CancelPressed();
}
