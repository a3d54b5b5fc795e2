#pragma once

#include <QDialog>

// "About Lumetra Downloader": icon, version and where to write.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    static const char* SupportAddress;
};
