#pragma once

#include "AddressHistory.h"
#include "DownloadFile.h"
#include "DownloadRecorder.h"
#include "MainDialogView.h"
#include "SerialPageState.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class AppSettings;
class ConsolePort;
class DownloadReporter;
class EthernetDownloadJob;
class NotifyTarget;
class SerialDownloadJob;
class SerialPort;
class WindowRecorder;

// The program's one window as behaviour: file selection, transport tabs, the
// console port's life, Xmit, the bootloader induction around its dialog, and
// the download hand-off. It tells a MainDialogView what to show; a face hands
// it the operator's actions. Everything runs on the user-interface thread,
// except IsCancelled, which a download worker polls.
//
// A face: creates its controls, constructs this over them, calls Initialise;
// routes each control's event to its On... operation (a list's selection only
// when the operator changed it); delivers the console port's notifications to
// OnSerialNotification and a worker's SetProgress, ShowStatus and Finish to
// the operations of the same names, each on the user-interface thread; calls
// RefreshPortList when serial devices come or go and when the port list is
// opened; lets Esc and the close box end the run only while MayEnd. The notify
// target carries, besides the port's notifications, the window's own
// WindowRecorder::NotWrittenMessage; a face delivers it to OnSerialNotification
// alike. A menu item "Download &history..." calls OnHistory.
class MainDialog {
public:
    // Lists the serial devices present now, as "COMn (device)" texts.
    using PortLister = std::function<std::vector<std::string>()>;

    // notifyTarget carries the console port's notifications back to
    // OnSerialNotification; reporter carries a worker's reports to the
    // operations below on this thread, and must outlive every worker. Each
    // download is recorded in the user's download log.
    MainDialog(AppSettings& settings, MainDialogView& view, NotifyTarget* notifyTarget, DownloadReporter& reporter,
               PortLister listPorts = {});
    ~MainDialog();
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // Once the face's controls exist: tab, address, serial selections, the
    // remembered file, and the port opened when the settings say so.
    void Initialise();

    bool SetPortOpen(bool open);
    void ClosePort();
    bool IsPortOpen() const;
    void ReopenPort();
    void RefreshSelectedFile();
    // Brings the port list up to date with the devices present now; the open
    // port and the page's other settings are left alone.
    void RefreshPortList();
    // The open console port, or none.
    SerialPort* Port() const;

    // A notification from the console port's I/O thread, delivered on this thread.
    void OnSerialNotification(uint32_t message);

    // The operator's actions.
    void OnBrowse();
    void SelectFile(const std::string& path); // what Browse does once a file is confirmed
    void OnFilesDropped(const std::vector<std::string>& paths);
    void OnClose();
    void OnTabChanged(int index);
    void OnDownload();
    void OnEnter(); // the OK command: Download, but only while its button is enabled
    void OnXmit();
    void OnInduceBootloader();
    void OnPortToggle(bool pressed);
    void OnAutoOpen(bool checked);
    void OnClearResults();
    void OnSerialSelectionChanged(SerialList list, int index);
    void OnRecentAddressSelected(int index);
    // The Ethernet page's address control becomes addressText and enters the history.
    void CommitAddress();
    void OnProgressCancel();
    // Shows the latest records of the download log, or why it cannot be read.
    void OnHistory();
    // Whether Esc or the close box may end the window's run now.
    bool MayEnd() const { return !downloadRunning; }

    // A drop is taken only when it is exactly one file.
    static bool AcceptsDrop(const std::vector<std::string>& paths);

    // The results box.
    void AppendBytes(const uint8_t* bytes, int count, bool coloured, uint32_t colour);
    void AppendMessage(const std::string& text, bool coloured, uint32_t colour);

    // A worker's DownloadReporter calls, carried out on this thread.
    void SetProgress(int percent);
    void ShowStatus(const std::string& text);
    void Finish();
    // Any thread.
    bool IsCancelled() const { return cancelRequested.load(std::memory_order_acquire); }

    bool IsDownloadRunning() const { return downloadRunning; }
    WindowRecorder& Recorder() { return *recorder; }
    int SelectedTab() const { return selectedTab; }

    // Xmit gives up on a line that takes nothing for this long, so a held line
    // never freezes the window.
    static constexpr int XmitWriteLimitMs = 2000;

    // The unit's TFTP port; only tests point it at a simulator elsewhere.
    uint16_t unitTftpPort = 69;

    SerialPageState serialPage;
    std::string addressText; // the Ethernet page's address, as a download takes it
    std::string selectedPath;
    DownloadFileKind fileKind = static_cast<DownloadFileKind>(0);
    std::string sizeText;
    // The console port's life-cycle; its SerialPort is shared with a serial
    // download's worker, which keeps it alive until it ends.
    std::unique_ptr<ConsolePort> console;
    std::unique_ptr<SerialDownloadJob> serialJob;
    std::unique_ptr<EthernetDownloadJob> ethernetJob;

private:
    void ShowSizeText();
    void ShowSerialPage();
    void ShowPortClosed();
    std::string OpenFailureDetail(int portNumber, const std::string& baudText) const;
    // Closes a port whose device went away and says so; false when it is fine.
    bool HandleLostPort();
    // Before a serial download: the port open and running as the page says.
    bool PortReadyForDownload();
    void ShowProgress(const std::string& caption, int64_t fileSize);
    DownloadRecorder::FileFacts FileFacts() const;
    void NoDownloadThread();
    // One red line for each record that could not be written.
    void TellUnrecordedDownloads();

    AppSettings& settings;
    MainDialogView& view;
    NotifyTarget* notifyTarget;
    DownloadReporter& reporter;
    PortLister listPorts;
    AddressHistory history;
    std::unique_ptr<WindowRecorder> recorder;

    std::string downloadButtonText = "&Download Application or\n Upgrade Firmware";
    bool downloadEnabled = false;
    int selectedTab = 0;
    // The last status a worker showed: its outcome once it has finished.
    std::string progressStatus;
    // Set by the progress dialog's Cancel on this thread, polled by the worker,
    // cleared when a download starts and by Finish.
    std::atomic<bool> cancelRequested{false};
    bool downloadRunning = false;
    bool serialDownloadRunning = false;
    // A reopen asked for while a serial download held the port waits for its end.
    bool reopenAfterDownload = false;
};
