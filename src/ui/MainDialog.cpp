#include "MainDialog.h"

#include "AboutDialog.h"
#include "AppIcon.h"
#include "AppSettings.h"
#include "BootloaderDialog.h"
#include "ConsolePort.h"
#include "DownloadProgressDialog.h"
#include "EscapedString.h"
#include "EthernetDownloadJob.h"
#include "EthernetPage.h"
#include "IpAddressEdit.h"
#include "MessageBoxSeam.h"
#include "PathDisplay.h"
#include "PortListWatcher.h"
#include "QtDownloadReporter.h"
#include "QtNotifyTarget.h"
#include "ResultsLog.h"
#include "SerialDownloadJob.h"
#include "SerialPage.h"
#include "SerialPort.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <QApplication>

#include <cstdlib>

MainDialog* gMainDialog = nullptr;

namespace {

constexpr int MaxConsoleRead = 1024;

// Texts keep the terminal's "\r\n" line ends; Qt's widgets want plain "\n".
QString ForDisplay(const std::string& text)
{
    return QString::fromStdString(text).replace("\r\n", "\n");
}

} // namespace

MainDialog::MainDialog(AppSettings& settings, PortLister listPorts, QWidget* parent)
    : QDialog(parent), settings(settings), listPorts(std::move(listPorts))
{
    setWindowTitle("Lumetra Download Utility");
    setWindowIcon(AppIcon::Get());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    BuildLayout();
    Initialise();
}

MainDialog::~MainDialog()
{
    console.reset(); // before the window's registration goes
    if (gProgressDialog == progressDialog)
        gProgressDialog = nullptr;
    QtNotifyTarget::Instance()->SetWindow(nullptr);
    if (gMainDialog == this)
        gMainDialog = nullptr;
}

void MainDialog::BuildLayout()
{
    downloadButton = new QPushButton("&Download Application or\n Upgrade Firmware", this);
    tabs = new QTabWidget(this);
    portToggle = new QPushButton("Serial &port is closed", this);
    clearButton = new QPushButton("Clear &results box", this);
    closeButton = new QPushButton("&Close Window", this);
    autoOpenBox = new QCheckBox("&Open serial port whenever this screen is shown", this);
    browseButton = new QPushButton("Bro&wse...", this);
    resultsLog = new ResultsLog(this);
    aboutButton = new QPushButton("About", this);
    pathDisplay = new PathDisplay(this);
    sizeStatic = new QLabel("App download size:\nFlash required:", this);

    // Enter is handled by keyPressEvent, never by a default button.
    for (QPushButton* button : {downloadButton, portToggle, clearButton, closeButton, browseButton, aboutButton})
        button->setAutoDefault(false);
    portToggle->setCheckable(true);
    portToggle->setMinimumHeight(portToggle->sizeHint().height() * 2);
    downloadButton->setMinimumHeight(downloadButton->sizeHint().height() + 12);
    sizeStatic->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    resultsLog->setMinimumHeight(resultsLog->fontMetrics().lineSpacing() * 8);
    sizeStatic->setMinimumWidth(sizeStatic->fontMetrics().horizontalAdvance("Firmware download size: 2147483647"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("File to download:", this), 0, 0, 1, 2);
    auto* fileRow = new QHBoxLayout();
    fileRow->setSpacing(2);
    fileRow->addWidget(pathDisplay, 1);
    fileRow->addWidget(browseButton);
    grid->addLayout(fileRow, 1, 0, 1, 2);

    grid->addWidget(tabs, 2, 0);
    auto* downloadGroup = new QGroupBox("Download", this);
    auto* downloadColumn = new QVBoxLayout(downloadGroup);
    downloadColumn->addWidget(sizeStatic);
    downloadColumn->addWidget(downloadButton);
    downloadColumn->addStretch(1);
    grid->addWidget(downloadGroup, 2, 1, Qt::AlignTop);

    auto* resultsGroup = new QGroupBox("Results", this);
    auto* resultsColumn = new QVBoxLayout(resultsGroup);
    resultsColumn->addWidget(resultsLog);
    grid->addWidget(resultsGroup, 3, 0, 1, 2);
    grid->setRowStretch(3, 1);

    auto* buttonRow = new QHBoxLayout();
    buttonRow->addWidget(portToggle, 1);
    buttonRow->addWidget(clearButton, 1);
    buttonRow->addWidget(closeButton, 1);
    grid->addLayout(buttonRow, 4, 0, 1, 2);

    auto* bottomRow = new QHBoxLayout();
    bottomRow->addWidget(autoOpenBox);
    bottomRow->addStretch(1);
    bottomRow->addWidget(aboutButton);
    grid->addLayout(bottomRow, 5, 0, 1, 2);

    // The tab order of the window's original arrangement.
    QWidget* order[] = {downloadButton, tabs, portToggle, clearButton, closeButton,
                        autoOpenBox,    browseButton, resultsLog, aboutButton};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(downloadButton, &QPushButton::clicked, this, &MainDialog::OnDownload);
    connect(browseButton, &QPushButton::clicked, this, &MainDialog::OnBrowse);
    connect(clearButton, &QPushButton::clicked, resultsLog, &ResultsLog::Clear);
    connect(closeButton, &QPushButton::clicked, this, &MainDialog::OnClose);
    connect(aboutButton, &QPushButton::clicked, this, [this] { AboutDialog(this).exec(); });
    connect(portToggle, &QPushButton::clicked, this, [this](bool pressed) { SetPortOpen(pressed); });
    connect(autoOpenBox, &QCheckBox::clicked, this, [this](bool checked) { settings.portstatus = checked ? 1 : 0; });
}

void MainDialog::Initialise()
{
    ethernetPage = new EthernetPage(settings, this);
    serialPage = new SerialPage(listPorts ? listPorts() : std::vector<std::string>(), this);
    tabs->addTab(serialPage, "Serial");
    tabs->addTab(ethernetPage, "Ethernet");
    if (settings.useethernet != 0)
        tabs->setCurrentIndex(1);
    else
        tabs->setCurrentIndex(0);
    connect(tabs, &QTabWidget::currentChanged, this, &MainDialog::OnTabChanged);
    connect(serialPage, &SerialPage::SettingsChanged, this, &MainDialog::ReopenPort);
    connect(serialPage, &SerialPage::PortListOpening, this, &MainDialog::RefreshPortList);
    if (listPorts) {
        portWatcher = new PortListWatcher(this);
        connect(portWatcher, &PortListWatcher::Changed, this, [this] {
            if (isVisible())
                RefreshPortList();
        });
    }
    connect(serialPage->XmitButton(), &QPushButton::clicked, this, &MainDialog::OnXmit);
    connect(serialPage->InduceButton(), &QPushButton::clicked, this, &MainDialog::OnInduceBootloader);

    ethernetPage->ShowAddress(settings.ip1);

    SerialPage::SelectStored(serialPage->PortList(), QString::fromStdString(settings.serialport), true);
    SerialPage::SelectStored(serialPage->FormatList(), QString::fromStdString(settings.dataformat), false);
    SerialPage::SelectStored(serialPage->BaudList(), QString::fromStdString(settings.baud), false);

    selectedPath = settings.filename;
    RefreshSelectedFile();

    QFontMetrics metrics(resultsLog->font());
    lineHeight = metrics.height() > 0 ? metrics.height() : 12;

    QtNotifyTarget::Instance()->SetWindow(this);
    console = std::make_unique<ConsolePort>(QtNotifyTarget::Instance());
    if (settings.portstatus == 1) {
        SetPortOpen(true);
        autoOpenBox->setChecked(true);
    } else {
        autoOpenBox->setChecked(false);
    }
    TransferToControls();

    reporter = std::make_unique<QtDownloadReporter>(*this);
    progressDialog = new DownloadProgressDialog(this);
    gProgressDialog = progressDialog;
    connect(progressDialog, &DownloadProgressDialog::CancelPressed, this, &MainDialog::OnProgressCancel);
    progressDialog->hide();

    gMainDialog = this;
}

void MainDialog::TransferToControls()
{
    sizeStatic->setText(sizeText.empty() ? QString("App download size:\nFlash required:") : ForDisplay(sizeText));
}

void MainDialog::RefreshSelectedFile()
{
    pathDisplay->SetPath(QString::fromStdString(selectedPath));
    sizeText.clear();
    downloadButton->setEnabled(false);

    DownloadFileInfo info = ClassifyDownloadFile(selectedPath);
    switch (info.outcome) {
    case DownloadFileInfo::NoSuchFile:
        settings.filename = selectedPath;
        return;
    case DownloadFileInfo::Unrecognised:
        MessageBoxSeam::Show(this, "Unrecognizeable file type");
        return;
    case DownloadFileInfo::TooLarge:
        MessageBoxSeam::Show(this, QString::fromStdString(TooLargeMessage(selectedPath, info.size)),
                             MessageBoxSeam::Icon::Exclamation);
        return;
    case DownloadFileInfo::Recognised:
        sizeText = info.sizeText;
        fileKind = info.kind;
        downloadButton->setText(QString::fromStdString(info.buttonText));
        downloadButton->setEnabled(true);
        settings.filename = selectedPath;
        return;
    }
}

void MainDialog::RefreshPortList()
{
    if (listPorts)
        serialPage->RefreshPorts(listPorts());
}

void MainDialog::OnBrowse()
{
    QString path;
    if (chooseFile) {
        path = chooseFile();
    } else {
        QFileDialog dialog(this, "Open");
        dialog.setNameFilters({"Downloable Files (*.bff *.bin)", "Application Files (*.bff)",
                               "Firmware Files (*.bin)", "All Files (*)"});
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (!selectedPath.empty())
            dialog.selectFile(QString::fromStdString(selectedPath));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().first();
    }
    if (!path.isEmpty())
        SelectFile(path);
}

void MainDialog::SelectFile(const QString& path)
{
    selectedPath = path.toStdString();
    RefreshSelectedFile();
    TransferToControls();
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

    serialPage->ReadControls();
    ConsolePort::Settings wanted{serialPage->PortText().toStdString(), serialPage->BaudText().toStdString(),
                                 serialPage->FormatText().toStdString()};
    // With no port selected (its adapter was absent at start-up) the stored
    // port stays: an empty name would match another port at the next start.
    if (!wanted.portText.empty())
        settings.serialport = wanted.portText;
    settings.baud = wanted.baudText;
    settings.dataformat = wanted.formatText;

    if (console->Open(wanted)) {
        portToggle->setChecked(true);
        portToggle->setText(ForDisplay(console->ToggleText()));
        return true;
    }
    const int portNumber = wanted.PortNumber();
    QString detail = portNumber == 0 ? QString("No serial port is selected. Pick one on the Serial page.")
                                     : OpenFailureDetail(portNumber, QString::fromStdString(wanted.baudText));
    ClosePort();
    MessageBoxSeam::Show(this, "Couldn't open serial port!", MessageBoxSeam::Icon::None, detail);
    ShowPortClosed();
    return false;
}

void MainDialog::ShowPortClosed()
{
    portToggle->setChecked(false);
    portToggle->setText("Serial &port is closed");
}

bool MainDialog::IsPortOpen() const
{
    return console && console->IsOpen();
}

SerialPort* MainDialog::Port() const
{
    return console ? console->Port().get() : nullptr;
}

QString MainDialog::OpenFailureDetail(int portNumber, const QString& baudText) const
{
    if (!console->LastOpenDetail().empty())
        return QString::fromStdString(console->LastOpenDetail());
    QString name = QString("COM%1").arg(portNumber);
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
        return name + " does not support " + (baudText.isEmpty() ? QString("this") : baudText) +
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
    if (!IsPortOpen())
        return;
    if (message == WM_SERIAL_RECEIVED) {
        uint8_t buffer[MaxConsoleRead];
        const int count = console->ReadForDisplay(buffer, MaxConsoleRead);
        if (count > 0)
            resultsLog->AppendBytes(buffer, count, false, 0);
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
        resultsLog->AppendBytes(buffer, count, false, 0);
    const std::string text = console->LossText(loss);
    ClosePort();
    ShowPortClosed();
    resultsLog->AppendMessage(text + "\n", true, 0x0000FF);
    return true;
}

void MainDialog::OnXmit()
{
    std::vector<uint8_t> bytes = EscapedString::Parse(serialPage->TransmitText()->text().toLatin1().toStdString());
    // An empty text still opens a closed port: the operator asked for the line.
    if (!SetPortOpen(true) || bytes.empty())
        return;
    const uint32_t queued = console->Send(bytes, XmitWriteLimitMs);
    if (HandleLostPort())
        return;
    if (queued < bytes.size()) {
        const size_t dropped = bytes.size() - queued;
        resultsLog->AppendMessage(std::to_string(dropped) + " of " + std::to_string(bytes.size()) +
                                      " bytes were not sent: the terminal took nothing for 2 seconds (the line "
                                      "is held by flow control, or nobody reads it).\n",
                                  true, 0x0000FF);
    }
}

void MainDialog::OnInduceBootloader()
{
    SetPortOpen(true);
    if (!IsPortOpen()) {
        MessageBoxSeam::Show(this, "Unable to open serial port");
        return;
    }
    ClosePort(); // the dialog opens the device itself, and devices are not shared

    serialPage->ReadControls();
    auto dialog = std::make_unique<BootloaderDialog>(serialPage->PortText(), *this);
    if (dialog->exec() == QDialog::Accepted) {
        resultsLog->AppendMessage("Bootloader entered!\n", true, 0x808080);
        serialPage->ReadControls();
        if ((serialPage->baudIndex != 0 || serialPage->formatIndex != 0) && tabs->currentIndex() == 0) {
            serialPage->baudIndex = 0;
            serialPage->formatIndex = 0;
            serialPage->WriteControls();
            resultsLog->AppendMessage(
                "Port Settings changed to 115200,8N1 to match bootloader communications settings!\n", true,
                0x0000FF);
        }
    } else {
        resultsLog->AppendMessage("Bootloader not entered!\n", true, 0x808080);
    }

    SetPortOpen(true);
    if (IsPortOpen())
        console->Send({'q', ';'}, XmitWriteLimitMs);
}

void MainDialog::OnTabChanged(int index)
{
    if (index == 0) {
        serialPage->setEnabled(true);
        ethernetPage->setEnabled(false);
        settings.useethernet = 0;
    } else if (index == 1) {
        ethernetPage->setEnabled(true);
        serialPage->setEnabled(false);
        settings.useethernet = 1;
    }
}

void MainDialog::OnDownload()
{
    if (downloadRunning)
        return;
    if (settings.useethernet != 0) {
        // 0.0.0.0 is what an untouched address box holds; on Linux it would reach
        // this computer, not a terminal.
        if (ethernetPage->AddressControl()->Address() == std::array<uint8_t, 4>{0, 0, 0, 0}) {
            MessageBoxSeam::Show(this, "Please set a valid IP address!");
            return;
        }
        ethernetPage->CommitAddress();
        ShowProgress("Ethernet Downloading...");
        ethernetJob = std::make_unique<EthernetDownloadJob>(selectedPath, fileKind, ethernetPage->addressText,
                                                            *reporter, unitTftpPort);
        if (!ethernetJob->Start()) {
            MessageBoxSeam::Show(this, "Can not start the download thread!");
            OnDownloadFinished();
        }
        return;
    }

    if (!PortReadyForDownload())
        return;
    ShowProgress("Serial Downloading...");
    serialDownloadRunning = true;
    console->LendToWorker();
    serialJob = std::make_unique<SerialDownloadJob>(selectedPath, fileKind, console->Port(), reporter.get());
    if (!serialJob->Start()) {
        MessageBoxSeam::Show(this, "Can not start the download thread!");
        OnDownloadFinished();
    }
}

bool MainDialog::PortReadyForDownload()
{
    HandleLostPort();
    if (!IsPortOpen())
        return SetPortOpen(true);
    // A previous download may have left the line at the bootloader's settings
    // or with flow control on; the loader the operator set up listens at the
    // page's settings.
    serialPage->ReadControls();
    const ConsolePort::Settings wanted{serialPage->PortText().toStdString(), serialPage->BaudText().toStdString(),
                                       serialPage->FormatText().toStdString()};
    if (console->RunsAs(wanted))
        return true;
    SetPortOpen(false);
    return SetPortOpen(true);
}

void MainDialog::ShowProgress(const QString& caption)
{
    progressDialog->adjustSize();
    QRect main = frameGeometry();
    QSize size = progressDialog->frameGeometry().size();
    int left = static_cast<int>(main.left() + 0.5 * (main.width() - size.width()));
    int top = static_cast<int>(main.top() + 0.3 * (main.height() - size.height()));
    progressDialog->move(left, top);
    progressDialog->setWindowTitle(caption);
    progressDialog->StatusLine()->clear();
    progressDialog->BeginTransfer(ClassifyDownloadFile(selectedPath).size);
    progressDialog->cancelRequested.store(false, std::memory_order_release);
    progressDialog->show();
    progressDialog->raise();
    downloadRunning = true;
    setEnabled(false);
    progressDialog->setEnabled(true);
}

void MainDialog::OnProgressCancel()
{
    ReopenPort();
}

void MainDialog::OnDownloadFinished()
{
    // The progress window closes right after the worker's last word; keep that
    // word in the results box, or the operator never learns how it ended.
    const QString outcome = progressDialog->StatusLine()->text();
    if (!outcome.isEmpty())
        resultsLog->AppendMessage(outcome.toStdString() + "\n", true, 0x808080);
    progressDialog->hide();
    progressDialog->ProgressBar()->setValue(0);
    progressDialog->cancelRequested.store(false, std::memory_order_release);
    downloadRunning = false;
    if (serialDownloadRunning && IsPortOpen()) {
        serialDownloadRunning = false;
        // A worker that reset the terminal reopened the port, which drops its
        // registration; without this the results box would stay deaf afterwards.
        console->TakeBack();
        if (!HandleLostPort())
            portToggle->setText(ForDisplay(console->ToggleText())); // the line as the worker left it
    }
    serialDownloadRunning = false;
    setEnabled(true);
    raise();
    activateWindow();
    if (reopenAfterDownload) {
        reopenAfterDownload = false;
        ReopenPort();
    }
}

void MainDialog::OnClose()
{
    SetPortOpen(false);
    serialJob.reset();
    ethernetJob.reset();
    accept();
}

void MainDialog::closeEvent(QCloseEvent* event)
{
    // While a worker runs only its Cancel may end things; it reports to this window.
    if (downloadRunning) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void MainDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        if (downloadRunning)
            return;
        // Enter presses the focused push button; only Enter elsewhere is the
        // OK command, and in the text to send it means "send it".
        QWidget* focus = QApplication::focusWidget();
        if (auto* button = qobject_cast<QPushButton*>(focus); button && isAncestorOf(button)) {
            if (button->isEnabled())
                button->click();
            return;
        }
        if (focus == serialPage->TransmitText()) {
            serialPage->XmitButton()->click();
            return;
        }
        if (downloadButton->isEnabled())
            OnDownload();
        return;
    }
    if (downloadRunning)
        return;
    QDialog::keyPressEvent(event); // Esc ends the run like the close box
}
