#pragma once

#include <QDialog>

#include <atomic>

class QLabel;
class QProgressBar;
class QPushButton;

// The one progress window of both transports: a status line, a bar and Cancel.
// Created hidden with the main window and reused for every download.
class DownloadProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit DownloadProgressDialog(QWidget* owner);

    void OnCancelButton();

    // Set by Cancel on the UI thread, polled by the worker, cleared by Finish.
    std::atomic<bool> cancelRequested{false};

    QProgressBar* ProgressBar() const { return progressBar; }
    QLabel* StatusLine() const { return statusLine; }
    QPushButton* CancelButton() const { return cancelButton; }

signals:
    // Cancel was pressed; the owner reopens its console port if it is open.
    void CancelPressed();

protected:
    void reject() override; // Esc is Cancel; the dialog is only ever hidden

private:
    QProgressBar* progressBar;
    QLabel* statusLine;
    QPushButton* cancelButton;
};

extern DownloadProgressDialog* gProgressDialog;
