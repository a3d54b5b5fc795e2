#include "DownloadProgressDialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

DownloadProgressDialog* gProgressDialog = nullptr;

DownloadProgressDialog::DownloadProgressDialog(QWidget* owner)
    : QDialog(owner), progressBar(new QProgressBar(this)), statusLine(new QLabel(this)),
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
    cancelButton->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(statusLine);
    layout->addWidget(progressBar);
    layout->addWidget(cancelButton, 0, Qt::AlignHCenter);
    setMinimumWidth(statusLine->fontMetrics().horizontalAdvance(QString(64, 'x')));

    connect(cancelButton, &QPushButton::clicked, this, &DownloadProgressDialog::OnCancelButton);
}

void DownloadProgressDialog::OnCancelButton()
{
    cancelRequested.store(true, std::memory_order_release);
    hide();
    emit CancelPressed();
}

void DownloadProgressDialog::reject()
{
    OnCancelButton();
}
