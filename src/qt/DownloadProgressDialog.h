#pragma once

#include "TransferEstimate.h"

#include <QDialog>
#include <QTimer>

#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

// The one progress window of both transports: a status line, a bar and Cancel.
// Created hidden with the main window and reused for every download.
class DownloadProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit DownloadProgressDialog(QWidget* owner);

    // A download of `totalBytes` is about to start: shows the dialog over
    // `owner` with `caption` and an empty status line; the rate line stays
    // blank until the worker's first progress report.
    void ShowOver(QWidget* owner, const QString& caption, int64_t totalBytes);
    // The worker's progress, on the UI thread: the bar, and the figures of the
    // rate line.
    void SetProgress(int percent);

    QProgressBar* ProgressBar() const { return progressBar; }
    QLabel* StatusLine() const { return statusLine; }
    // Under the bar: bytes sent of the total, rate and time left.
    QLabel* RateLine() const { return rateLine; }
    QPushButton* CancelButton() const { return cancelButton; }

signals:
    // Cancel was pressed (or Esc): the main window's behaviour takes it from here.
    void CancelPressed();

protected:
    void reject() override; // Esc is Cancel; the dialog is only ever hidden, by its owner
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowRate();

    // A few times a second is as often as a person can read figures, and the
    // rate and time left go on moving while the line stalls between reports.
    static constexpr int RateRefreshMs = 250;

    QProgressBar* progressBar;
    QLabel* statusLine;
    QLabel* rateLine;
    QPushButton* cancelButton;
    TransferEstimate estimate;
    QTimer rateRefresh;
};

extern DownloadProgressDialog* gProgressDialog;
