#pragma once

#include "DownloadFile.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class AppSettings;
class ConsolePort;
class DownloadProgressDialog;
class EthernetDownloadJob;
class EthernetPage;
class QtDownloadReporter;
class SerialDownloadJob;
class PathDisplay;
class PortListWatcher;
class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;
class ResultsLog;
class SerialPage;
class SerialPort;

// The program's one window: file selection, transport tabs, the console port
// toggle and the results box.
class MainDialog : public QDialog {
    Q_OBJECT
public:
    // Lists the serial devices present now, as "COMn (device)" texts.
    using PortLister = std::function<std::vector<std::string>()>;

    explicit MainDialog(AppSettings& settings, PortLister listPorts = {}, QWidget* parent = nullptr);
    ~MainDialog() override;

    bool SetPortOpen(bool open);
    void ClosePort();
    bool IsPortOpen() const;
    void ReopenPort();
    // The open console port, or none.
    SerialPort* Port() const;
    void RefreshSelectedFile();
    // Brings the serial page's port list up to date with the devices present
    // now; the open port and the page's other settings are left alone.
    void RefreshPortList();

    // A notification from the console port's I/O thread, delivered on the UI thread.
    void OnSerialNotification(uint32_t message);

    void OnBrowse();
    void SelectFile(const QString& path); // what Browse does once a file is confirmed
    void OnClose();
    void OnTabChanged(int index);
    void OnDownload();
    void OnXmit();
    void OnInduceBootloader();
    // The worker's Finish, carried out on the UI thread.
    void OnDownloadFinished();
    bool IsDownloadRunning() const { return downloadRunning; }

    // The console port's life-cycle; its SerialPort is shared with a serial
    // download's worker, which keeps it alive until it ends.
    std::unique_ptr<ConsolePort> console;
    std::unique_ptr<SerialDownloadJob> serialJob;
    std::unique_ptr<EthernetDownloadJob> ethernetJob;
    DownloadProgressDialog* progressDialog = nullptr;
    std::string selectedPath;
    DownloadFileKind fileKind = static_cast<DownloadFileKind>(0);
    std::string sizeText;
    int lineHeight = 12;

    SerialPage* serialPage = nullptr;
    EthernetPage* ethernetPage = nullptr;
    ResultsLog* resultsLog = nullptr;
    QTabWidget* tabs = nullptr;
    QPushButton* downloadButton = nullptr;
    QPushButton* portToggle = nullptr;
    QPushButton* clearButton = nullptr;
    QPushButton* closeButton = nullptr;
    QPushButton* browseButton = nullptr;
    QPushButton* aboutButton = nullptr;
    QCheckBox* autoOpenBox = nullptr;
    PathDisplay* pathDisplay = nullptr;
    QLabel* sizeStatic = nullptr;
    // Refreshes the port list when devices come or go while the window is shown.
    PortListWatcher* portWatcher = nullptr;

    // Xmit gives up on a line that takes nothing for this long, so a held line
    // never freezes the window.
    static constexpr int XmitWriteLimitMs = 2000;

    // The unit's TFTP port; only tests point it at a simulator elsewhere.
    uint16_t unitTftpPort = 69;

    // File-open dialog seam for tests: returns the chosen path, or empty on Cancel.
    std::function<QString()> chooseFile;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildLayout();
    void Initialise();
    void TransferToControls();
    QString OpenFailureDetail(int portNumber, const QString& baudText) const;
    void ShowProgress(const QString& caption);
    void OnProgressCancel();
    void ShowPortClosed();
    // Closes a port whose device went away and says so; false when it is fine.
    bool HandleLostPort();
    // Before a serial download: the port open and running as the page says.
    bool PortReadyForDownload();

    std::unique_ptr<QtDownloadReporter> reporter;
    bool downloadRunning = false;
    bool serialDownloadRunning = false;
    // A reopen asked for while a serial download held the port waits for its end.
    bool reopenAfterDownload = false;

    AppSettings& settings;
    PortLister listPorts;
};

extern MainDialog* gMainDialog;
