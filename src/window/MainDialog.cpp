#include "MainDialog.h"

#include "AppSettings.h"
#include "ComPortNames.h"
#include "ConsolePort.h"
#include "DownloadLog.h"
#include "EscapedString.h"
#include "EthernetDownloadJob.h"
#include "HistoryTable.h"
#include "SerialDownloadJob.h"
#include "SerialPort.h"
#include "WindowRecorder.h"

#include <filesystem>

namespace {

constexpr int MaxConsoleRead = 1024;
constexpr uint32_t Grey = 0x808080;
constexpr uint32_t Red = 0x0000FF;

const char* const ClosedToggleText = "Serial &port is closed";
const char* const EmptySizeText = "App download size:\r\nFlash required:";
const char* const NoThreadText = "Can not start the download thread!";

} // namespace

MainDialog::MainDialog(AppSettings& settings, MainDialogView& view, NotifyTarget* notifyTarget,
                       DownloadReporter& reporter, PortLister listPorts)
    : serialPage(listPorts ? listPorts() : std::vector<std::string>()), settings(settings), view(view),
      notifyTarget(notifyTarget), reporter(reporter), listPorts(std::move(listPorts)), history(settings),
      recorder(std::make_unique<WindowRecorder>(notifyTarget, DownloadLog::DefaultPath(), "vennix", VENNIX_VERSION))
{
}

MainDialog::~MainDialog() = default;

void MainDialog::Initialise()
{
    view.ShowAddressHistory(history.Rows());
    selectedTab = settings.useethernet != 0 ? 1 : 0;
    view.ShowTab(selectedTab);

    const std::array<uint8_t, 4> address = AppSettings::ParseDottedAddress(settings.ip1);
    view.ShowAddress(address);
    addressText = AddressHistory::Dotted(address);

    serialPage.WriteControls();
    serialPage.SelectStored(SerialList::Port, settings.serialport);
    serialPage.SelectStored(SerialList::Format, settings.dataformat);
    serialPage.SelectStored(SerialList::Baud, settings.baud);
    ShowSerialPage();

    selectedPath = settings.filename;
    RefreshSelectedFile();

    console = std::make_unique<ConsolePort>(notifyTarget);
    ShowPortClosed();
    if (settings.portstatus == 1) {
        SetPortOpen(true);
        view.ShowAutoOpen(true);
    } else {
        view.ShowAutoOpen(false);
    }
    ShowSizeText();
    view.HideProgressDialog();
}

void MainDialog::ShowSizeText()
{
    view.ShowSizeText(sizeText.empty() ? std::string(EmptySizeText) : sizeText);
}

void MainDialog::ShowSerialPage()
{
    for (SerialList list : {SerialList::Port, SerialList::Baud, SerialList::Format})
        view.ShowSerialList(list, serialPage.Items(list), serialPage.Selection(list));
}

void MainDialog::RefreshSelectedFile()
{
    view.ShowPath(selectedPath);
    sizeText.clear();
    downloadEnabled = false;

    const DownloadFileInfo info = ClassifyDownloadFile(selectedPath);
    switch (info.outcome) {
    case DownloadFileInfo::NoSuchFile:
        settings.filename = selectedPath;
        break;
    case DownloadFileInfo::Unrecognised:
        view.ShowDownloadButton(false, downloadButtonText);
        view.ShowMessage("Unrecognizeable file type", MainDialogView::MessageIcon::None, "");
        return;
    case DownloadFileInfo::TooLarge:
        view.ShowDownloadButton(false, downloadButtonText);
        view.ShowMessage(TooLargeMessage(selectedPath, info.size), MainDialogView::MessageIcon::Exclamation, "");
        return;
    case DownloadFileInfo::Recognised:
        sizeText = info.sizeText;
        fileKind = info.kind;
        downloadButtonText = info.buttonText;
        downloadEnabled = true;
        settings.filename = selectedPath;
        break;
    }
    view.ShowDownloadButton(downloadEnabled, downloadButtonText);
}

void MainDialog::RefreshPortList()
{
    if (listPorts && serialPage.RefreshPorts(listPorts()))
        view.ShowSerialList(SerialList::Port, serialPage.Items(SerialList::Port),
                            serialPage.Selection(SerialList::Port));
}

void MainDialog::OnBrowse()
{
    const std::string path = view.ChooseFile(selectedPath);
    if (!path.empty())
        SelectFile(path);
}

void MainDialog::SelectFile(const std::string& path)
{
    selectedPath = path;
    RefreshSelectedFile();
    ShowSizeText();
}

bool MainDialog::AcceptsDrop(const std::vector<std::string>& paths)
{
    std::error_code error;
    return paths.size() == 1 && !paths.front().empty() && std::filesystem::is_regular_file(paths.front(), error);
}

void MainDialog::OnFilesDropped(const std::vector<std::string>& paths)
{
    // Nothing can be chosen while a download runs, dropped or not.
    if (downloadRunning || !AcceptsDrop(paths))
        return;
    SelectFile(paths.front());
}

bool MainDialog::SetPortOpen(bool open)
{
    if (!open) {
        ClosePort();
        ShowPortClosed();
        return true;
    }
    if (IsPortOpen())
        return true;

    serialPage.ReadControls();
    const ConsolePort::Settings wanted{serialPage.Text(SerialList::Port), serialPage.Text(SerialList::Baud),
                                       serialPage.Text(SerialList::Format)};
    // With no port selected (its adapter was absent at start-up) the stored
    // port stays: an empty name would match another port at the next start.
    if (!wanted.portText.empty())
        settings.serialport = wanted.portText;
    settings.baud = wanted.baudText;
    settings.dataformat = wanted.formatText;

    if (console->Open(wanted)) {
        view.ShowPortToggle(true, console->ToggleText());
        return true;
    }
    const int portNumber = wanted.PortNumber();
    const std::string detail = portNumber == 0 ? "No serial port is selected. Pick one on the Serial page."
                                               : OpenFailureDetail(portNumber, wanted.baudText);
    ClosePort();
    view.ShowMessage("Couldn't open serial port!", MainDialogView::MessageIcon::None, detail);
    ShowPortClosed();
    return false;
}

void MainDialog::ShowPortClosed()
{
    view.ShowPortToggle(false, ClosedToggleText);
}

bool MainDialog::IsPortOpen() const
{
    return console && console->IsOpen();
}

SerialPort* MainDialog::Port() const
{
    return console ? console->Port().get() : nullptr;
}

std::string MainDialog::OpenFailureDetail(int portNumber, const std::string& baudText) const
{
    if (!console->LastOpenDetail().empty())
        return console->LastOpenDetail();
    const std::string name = "COM" + std::to_string(portNumber);
    switch (console->LastOpenError()) {
    case SerialOpenError::NoSuchDevice:
        return name + " is not present on this computer. Check that the cable or USB adapter is plugged in.";
    case SerialOpenError::InUse:
        return name + " is in use by another program. Close that program, or pick another port.";
    case SerialOpenError::PermissionDenied:
        return "You are not allowed to use " + name +
               ". On Linux, add your user to the dialout group (sudo usermod -aG dialout $USER), "
               "then log out and log in again.";
    case SerialOpenError::RateNotSupported:
        return name + " does not support " + (baudText.empty() ? std::string("this") : baudText) +
               " baud. Pick another baud rate.";
    case SerialOpenError::None:
    case SerialOpenError::Other:
        break;
    }
    return name + " could not be set up with these settings.";
}

void MainDialog::ClosePort()
{
    // A running serial download never gets here: ReopenPort waits for its end,
    // and every other caller is out of reach while the window is disabled.
    if (console)
        console->Close();
}

void MainDialog::ReopenPort()
{
    if (serialDownloadRunning) {
        // The worker still talks through this port; closing it now would pull the
        // device from under it. Reopen once the download has ended.
        reopenAfterDownload = true;
        return;
    }
    if (IsPortOpen()) {
        SetPortOpen(false);
        SetPortOpen(true);
    }
}

void MainDialog::OnSerialNotification(uint32_t message)
{
    if (message == WindowRecorder::NotWrittenMessage) {
        TellUnrecordedDownloads();
        return;
    }
    if (!IsPortOpen())
        return;
    if (message == WM_SERIAL_RECEIVED) {
        uint8_t buffer[MaxConsoleRead];
        const int count = console->ReadForDisplay(buffer, MaxConsoleRead);
        if (count > 0)
            AppendBytes(buffer, count, false, 0);
    } else if (message == WM_SERIAL_ERROR && !serialDownloadRunning) {
        // During a download the worker reports the loss itself; the window
        // looks at the port when it gets it back.
        HandleLostPort();
    }
}

bool MainDialog::HandleLostPort()
{
    const ConsolePort::Loss loss = console->CheckLoss();
    if (loss == ConsolePort::Loss::None)
        return false;
    // What arrived before the line went is still the terminal's to show.
    uint8_t buffer[MaxConsoleRead];
    for (int count; (count = console->ReadForDisplay(buffer, MaxConsoleRead)) > 0;)
        AppendBytes(buffer, count, false, 0);
    const std::string text = console->LossText(loss);
    ClosePort();
    ShowPortClosed();
    AppendMessage(text + "\n", true, Red);
    return true;
}

void MainDialog::AppendBytes(const uint8_t* bytes, int count, bool coloured, uint32_t colour)
{
    if (count > 0)
        view.AppendResults(bytes, static_cast<size_t>(count), coloured, colour);
}

void MainDialog::AppendMessage(const std::string& text, bool coloured, uint32_t colour)
{
    AppendBytes(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()), coloured, colour);
}

void MainDialog::OnClearResults()
{
    view.ClearResults();
}

void MainDialog::OnXmit()
{
    const std::vector<uint8_t> bytes = EscapedString::Parse(view.TransmitText());
    // An empty text still opens a closed port: the operator asked for the line.
    if (!SetPortOpen(true) || bytes.empty())
        return;
    const uint32_t queued = console->Send(bytes, XmitWriteLimitMs);
    if (HandleLostPort())
        return;
    if (queued < bytes.size()) {
        const size_t dropped = bytes.size() - queued;
        AppendMessage(std::to_string(dropped) + " of " + std::to_string(bytes.size()) +
                          " bytes were not sent: the terminal took nothing for 2 seconds (the line "
                          "is held by flow control, or nobody reads it).\n",
                      true, Red);
    }
}

void MainDialog::OnInduceBootloader()
{
    SetPortOpen(true);
    if (!IsPortOpen()) {
        view.ShowMessage("Unable to open serial port", MainDialogView::MessageIcon::None, "");
        return;
    }
    ClosePort(); // the dialog opens the device itself, and devices are not shared

    serialPage.ReadControls();
    if (view.RunBootloaderDialog(serialPage.Text(SerialList::Port))) {
        AppendMessage("Bootloader entered!\n", true, Grey);
        serialPage.ReadControls();
        if ((serialPage.baudIndex != 0 || serialPage.formatIndex != 0) && selectedTab == 0) {
            serialPage.baudIndex = 0;
            serialPage.formatIndex = 0;
            serialPage.WriteControls();
            view.SelectSerialItem(SerialList::Baud, 0);
            view.SelectSerialItem(SerialList::Format, 0);
            AppendMessage("Port Settings changed to 115200,8N1 to match bootloader communications settings!\n", true,
                          Red);
        }
    } else {
        AppendMessage("Bootloader not entered!\n", true, Grey);
    }

    SetPortOpen(true);
    if (IsPortOpen())
        console->Send({'q', ';'}, XmitWriteLimitMs);
}

void MainDialog::OnPortToggle(bool pressed)
{
    SetPortOpen(pressed);
}

void MainDialog::OnAutoOpen(bool checked)
{
    // Only the choice is recorded; the port itself stays as it is.
    settings.portstatus = checked ? 1 : 0;
}

void MainDialog::OnSerialSelectionChanged(SerialList list, int index)
{
    serialPage.OperatorSelected(list, index);
    ReopenPort();
}

void MainDialog::OnTabChanged(int index)
{
    if (index == 0) {
        view.EnablePages(true, false);
        settings.useethernet = 0;
    } else if (index == 1) {
        view.EnablePages(false, true);
        settings.useethernet = 1;
    } else {
        return;
    }
    selectedTab = index;
}

void MainDialog::OnRecentAddressSelected(int index)
{
    const std::vector<std::string> rows = history.Rows();
    if (index < 0 || index >= static_cast<int>(rows.size()))
        return;
    view.ShowAddress(AppSettings::ParseDottedAddress(rows[static_cast<size_t>(index)]));
    addressText = rows[static_cast<size_t>(index)];
}

void MainDialog::CommitAddress()
{
    addressText = AddressHistory::Dotted(view.AddressInControl());
    if (history.Commit(addressText))
        view.ShowAddressHistory(history.Rows());
}

void MainDialog::OnEnter()
{
    if (downloadEnabled)
        OnDownload();
}

void MainDialog::OnDownload()
{
    if (downloadRunning || !downloadEnabled)
        return;
    if (settings.useethernet != 0) {
        // 0.0.0.0 is what an untouched address box holds; on Linux it would reach
        // this computer, not a terminal.
        if (view.AddressInControl() == std::array<uint8_t, 4>{0, 0, 0, 0}) {
            view.ShowMessage("Please set a valid IP address!", MainDialogView::MessageIcon::None, "");
            return;
        }
        CommitAddress();
        const DownloadRecorder::FileFacts file = FileFacts();
        ShowProgress("Ethernet Downloading...", file.size);
        ethernetJob = std::make_unique<EthernetDownloadJob>(
            selectedPath, fileKind, addressText, reporter, unitTftpPort,
            recorder->Downloads().BeginEthernet(file, addressText, unitTftpPort));
        if (!ethernetJob->Start())
            NoDownloadThread();
        return;
    }

    if (!PortReadyForDownload())
        return;
    const DownloadRecorder::FileFacts file = FileFacts();
    ShowProgress("Serial Downloading...", file.size);
    serialDownloadRunning = true;
    console->LendToWorker();
    // The line as the page set it up; the worker tells the one it ends up using.
    const ConsolePort::Settings line{serialPage.Text(SerialList::Port), serialPage.Text(SerialList::Baud),
                                     serialPage.Text(SerialList::Format)};
    const int portNumber = console->PortNumber();
    std::shared_ptr<TransferObserver> observer = recorder->Downloads().BeginSerial(
        file, portNumber, ComPortNames::RealDevicePath(portNumber), line.BaudRate(), line.formatText);
    serialJob = std::make_unique<SerialDownloadJob>(selectedPath, fileKind, console->Port(), &reporter,
                                                    std::move(observer));
    if (!serialJob->Start())
        NoDownloadThread();
}

DownloadRecorder::FileFacts MainDialog::FileFacts() const
{
    return {selectedPath, ClassifyDownloadFile(selectedPath).size, fileKind == Firmware};
}

void MainDialog::NoDownloadThread()
{
    view.ShowMessage(NoThreadText, MainDialogView::MessageIcon::None, "");
    recorder->Downloads().End(NoThreadText, false);
    Finish();
}

bool MainDialog::PortReadyForDownload()
{
    HandleLostPort();
    if (!IsPortOpen())
        return SetPortOpen(true);
    // A previous download may have left the line at the bootloader's settings
    // or with flow control on; the loader the operator set up listens at the
    // page's settings.
    serialPage.ReadControls();
    const ConsolePort::Settings wanted{serialPage.Text(SerialList::Port), serialPage.Text(SerialList::Baud),
                                       serialPage.Text(SerialList::Format)};
    if (console->RunsAs(wanted))
        return true;
    SetPortOpen(false);
    return SetPortOpen(true);
}

void MainDialog::ShowProgress(const std::string& caption, int64_t fileSize)
{
    progressStatus.clear();
    cancelRequested.store(false, std::memory_order_release);
    view.ShowProgressDialog(caption, fileSize);
    downloadRunning = true;
    view.EnableWindow(false);
}

void MainDialog::OnProgressCancel()
{
    cancelRequested.store(true, std::memory_order_release);
    view.HideProgressDialog();
    ReopenPort();
}

void MainDialog::SetProgress(int percent)
{
    view.ShowProgressBar(percent);
}

void MainDialog::ShowStatus(const std::string& text)
{
    progressStatus = text;
    view.ShowProgressStatus(text);
}

void MainDialog::Finish()
{
    // Handed to the record's own thread: nothing here waits for the disk.
    recorder->Downloads().End(progressStatus, cancelRequested.load(std::memory_order_acquire));
    // The progress window closes right after the worker's last word; keep that
    // word in the results box, or the operator never learns how it ended.
    if (!progressStatus.empty())
        AppendMessage(progressStatus + "\n", true, Grey);
    view.HideProgressDialog();
    view.ShowProgressBar(0);
    cancelRequested.store(false, std::memory_order_release);
    downloadRunning = false;
    if (serialDownloadRunning && IsPortOpen()) {
        serialDownloadRunning = false;
        // A worker that reset the terminal reopened the port, which drops its
        // registration; without this the results box would stay deaf afterwards.
        console->TakeBack();
        if (!HandleLostPort())
            view.ShowPortToggle(true, console->ToggleText()); // the line as the worker left it
    }
    serialDownloadRunning = false;
    view.EnableWindow(true);
    view.RaiseWindow();
    if (reopenAfterDownload) {
        reopenAfterDownload = false;
        ReopenPort();
    }
}

void MainDialog::TellUnrecordedDownloads()
{
    for (const std::string& reason : recorder->TakeFailures())
        AppendMessage("The download was not recorded: " + reason + "\n", true, Red);
}

void MainDialog::OnHistory()
{
    HistoryTable table{DownloadLog(recorder->LogPath())};
    std::string error;
    if (!table.Load(&error)) {
        view.ShowMessage("The download history could not be read.", MainDialogView::MessageIcon::Exclamation, error);
        return;
    }
    view.ShowHistory(table);
}

void MainDialog::OnClose()
{
    SetPortOpen(false);
    serialJob.reset();
    ethernetJob.reset();
    view.EndDialog();
}
