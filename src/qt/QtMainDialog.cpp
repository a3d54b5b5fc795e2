#include "QtMainDialog.h"

#include "AboutDialog.h"
#include "AppIcon.h"
#include "BootloaderDialog.h"
#include "DownloadProgressDialog.h"
#include "EthernetPage.h"
#include "IpAddressEdit.h"
#include "MessageBoxSeam.h"
#include "PathDisplay.h"
#include "PortListWatcher.h"
#include "QtDownloadReporter.h"
#include "QtNotifyTarget.h"
#include "ResultsLog.h"
#include "SerialPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

QtMainDialog* gMainDialog = nullptr;

namespace {

// Texts keep the system's "\r\n" line ends; Qt's widgets want plain "\n".
QString ForDisplay(const std::string& text)
{
    return QString::fromStdString(text).replace("\r\n", "\n");
}

} // namespace

QtMainDialog::QtMainDialog(AppSettings& settings, MainDialog::PortLister listPorts, QWidget* parent)
    : QDialog(parent), reporter(std::make_unique<QtDownloadReporter>(*this))
{
    setWindowTitle("Lumetra Download Utility");
    setWindowIcon(AppIcon::Get());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    const bool watchPorts = static_cast<bool>(listPorts);
    window = std::make_unique<MainDialog>(settings, *this, QtNotifyTarget::Instance(), *reporter, std::move(listPorts));
    BuildLayout();
    Wire();
    if (watchPorts) {
        portWatcher = new PortListWatcher(this);
        connect(portWatcher, &PortListWatcher::Changed, this, [this] {
            if (isVisible())
                window->RefreshPortList();
        });
    }
    QtNotifyTarget::Instance()->SetWindow(window.get());
    window->Initialise();
    gProgressDialog = progressDialog;
    gMainDialog = this;
}

QtMainDialog::~QtMainDialog()
{
    window->ClosePort(); // before the window's registration goes
    QtNotifyTarget::Instance()->SetWindow(nullptr);
    if (gProgressDialog == progressDialog)
        gProgressDialog = nullptr;
    if (gMainDialog == this)
        gMainDialog = nullptr;
}

void QtMainDialog::BuildLayout()
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
    ethernetPage = new EthernetPage(this);
    serialPage = new SerialPage(this);
    progressDialog = new DownloadProgressDialog(this);

    // Enter is handled by keyPressEvent, never by a default button.
    for (QPushButton* button : {downloadButton, portToggle, clearButton, closeButton, browseButton, aboutButton})
        button->setAutoDefault(false);
    portToggle->setCheckable(true);
    portToggle->setMinimumHeight(portToggle->sizeHint().height() * 2);
    downloadButton->setMinimumHeight(downloadButton->sizeHint().height() + 12);
    sizeStatic->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    resultsLog->setMinimumHeight(resultsLog->fontMetrics().lineSpacing() * 8);
    sizeStatic->setMinimumWidth(sizeStatic->fontMetrics().horizontalAdvance("Firmware download size: 2147483647"));
    tabs->addTab(serialPage, "Serial");
    tabs->addTab(ethernetPage, "Ethernet");

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
}

void QtMainDialog::Wire()
{
    MainDialog* w = window.get();
    connect(downloadButton, &QPushButton::clicked, this, [w] { w->OnDownload(); });
    connect(browseButton, &QPushButton::clicked, this, [w] { w->OnBrowse(); });
    connect(clearButton, &QPushButton::clicked, this, [w] { w->OnClearResults(); });
    connect(closeButton, &QPushButton::clicked, this, [w] { w->OnClose(); });
    connect(aboutButton, &QPushButton::clicked, this, [this] { AboutDialog(this).exec(); });
    connect(portToggle, &QPushButton::clicked, this, [w](bool pressed) { w->OnPortToggle(pressed); });
    connect(autoOpenBox, &QCheckBox::clicked, this, [w](bool checked) { w->OnAutoOpen(checked); });
    connect(tabs, &QTabWidget::currentChanged, this, [w](int index) { w->OnTabChanged(index); });
    connect(serialPage, &SerialPage::SelectionChanged, this,
            [w](SerialList list, int index) { w->OnSerialSelectionChanged(list, index); });
    connect(serialPage, &SerialPage::PortListOpening, this, [w] { w->RefreshPortList(); });
    connect(serialPage->XmitButton(), &QPushButton::clicked, this, [w] { w->OnXmit(); });
    connect(serialPage->InduceButton(), &QPushButton::clicked, this, [w] { w->OnInduceBootloader(); });
    connect(ethernetPage, &EthernetPage::RecentAddressPicked, this,
            [w](int index) { w->OnRecentAddressSelected(index); });
    connect(progressDialog, &DownloadProgressDialog::CancelPressed, this, [w] { w->OnProgressCancel(); });
}

void QtMainDialog::ShowPath(const std::string& path) { pathDisplay->SetPath(QString::fromStdString(path)); }
void QtMainDialog::ShowSizeText(const std::string& text) { sizeStatic->setText(ForDisplay(text)); }
void QtMainDialog::ShowAutoOpen(bool checked) { autoOpenBox->setChecked(checked); }
void QtMainDialog::RaiseWindow() { raise(); activateWindow(); }
void QtMainDialog::EndDialog() { accept(); }
void QtMainDialog::ClearResults() { resultsLog->Clear(); }
std::string QtMainDialog::TransmitText() { return serialPage->TransmitText()->text().toLatin1().toStdString(); }
void QtMainDialog::ShowAddress(const std::array<uint8_t, 4>& address) { ethernetPage->AddressControl()->SetAddress(address); }
std::array<uint8_t, 4> QtMainDialog::AddressInControl() { return ethernetPage->AddressControl()->Address(); }
void QtMainDialog::ShowAddressHistory(const std::vector<std::string>& rows) { ethernetPage->ShowHistory(rows); }
void QtMainDialog::ShowProgressStatus(const std::string& text) { progressDialog->StatusLine()->setText(QString::fromStdString(text)); }
void QtMainDialog::ShowProgressBar(int percent) { progressDialog->SetProgress(percent); }
void QtMainDialog::HideProgressDialog() { progressDialog->hide(); }

void QtMainDialog::ShowDownloadButton(bool enabled, const std::string& text)
{
    downloadButton->setText(ForDisplay(text));
    downloadButton->setEnabled(enabled);
}

void QtMainDialog::ShowPortToggle(bool pressed, const std::string& text)
{
    portToggle->setChecked(pressed);
    portToggle->setText(ForDisplay(text));
}

void QtMainDialog::ShowTab(int index)
{
    const QSignalBlocker quiet(tabs); // the window's choice, not a tab change
    tabs->setCurrentIndex(index);
}

void QtMainDialog::EnablePages(bool serialEnabled, bool ethernetEnabled)
{
    serialPage->setEnabled(serialEnabled);
    ethernetPage->setEnabled(ethernetEnabled);
}

void QtMainDialog::EnableWindow(bool enabled)
{
    setEnabled(enabled);
    progressDialog->setEnabled(true); // a child window, but its Cancel stays usable
}

void QtMainDialog::AppendResults(const uint8_t* bytes, size_t count, bool coloured, uint32_t colour)
{
    resultsLog->AppendBytes(bytes, static_cast<int>(count), coloured, colour);
}

void QtMainDialog::ShowSerialList(SerialList list, const std::vector<std::string>& items, int selected)
{
    serialPage->ShowItems(list, items, selected);
}

void QtMainDialog::SelectSerialItem(SerialList list, int index)
{
    serialPage->List(list)->setCurrentIndex(index);
}

void QtMainDialog::ShowProgressDialog(const std::string& caption, int64_t totalBytes)
{
    // Horizontally centred over the main window, three tenths of the way down.
    progressDialog->adjustSize();
    const QRect main = frameGeometry();
    const QSize size = progressDialog->frameGeometry().size();
    progressDialog->move(static_cast<int>(main.left() + 0.5 * (main.width() - size.width())),
                         static_cast<int>(main.top() + 0.3 * (main.height() - size.height())));
    progressDialog->setWindowTitle(QString::fromStdString(caption));
    progressDialog->StatusLine()->clear();
    progressDialog->BeginTransfer(totalBytes);
    progressDialog->show();
    progressDialog->raise();
}

void QtMainDialog::ShowMessage(const std::string& text, MessageIcon icon, const std::string& detail)
{
    MessageBoxSeam::Show(this, QString::fromStdString(text),
                         icon == MessageIcon::Exclamation ? MessageBoxSeam::Icon::Exclamation : MessageBoxSeam::Icon::None,
                         QString::fromStdString(detail));
}

QStringList QtMainDialog::FileFilters()
{
    return {"Downloable Files (*.bff *.bin)", "Application Files (*.bff)", "Firmware Files (*.bin)", "All Files (*)"};
}

std::string QtMainDialog::ChooseFile(const std::string& currentPath)
{
    if (chooseFile)
        return chooseFile().toStdString();
    QFileDialog dialog(this, "Open");
    dialog.setNameFilters(FileFilters());
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!currentPath.empty())
        dialog.selectFile(QString::fromStdString(currentPath));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::string();
    return dialog.selectedFiles().first().toStdString();
}

bool QtMainDialog::RunBootloaderDialog(const std::string& portText)
{
    MainDialog* w = window.get();
    BootloaderDialog dialog(QString::fromStdString(portText), this,
                            [w](const uint8_t* bytes, int count) { w->AppendBytes(bytes, count, false, 0); });
    return dialog.exec() == QDialog::Accepted;
}

void QtMainDialog::closeEvent(QCloseEvent* event)
{
    // While a worker runs only its Cancel may end things; it reports to this window.
    if (!window->MayEnd()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void QtMainDialog::keyPressEvent(QKeyEvent* event)
{
    if (!window->MayEnd()) {
        event->accept();
        return;
    }
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QDialog::keyPressEvent(event); // Esc ends the run like the close box
        return;
    }
    event->accept();
    // Enter presses the focused push button; only Enter elsewhere is the OK
    // command, and in the text to send it means "send it".
    QWidget* focus = QApplication::focusWidget();
    if (auto* button = qobject_cast<QPushButton*>(focus); button && isAncestorOf(button)) {
        if (button->isEnabled())
            button->click();
    } else if (focus == serialPage->TransmitText()) {
        serialPage->XmitButton()->click();
    } else {
        window->OnEnter();
    }
}

namespace {

// The dropped items as local paths; anything that is no local file reads "".
std::vector<std::string> DroppedPaths(const QMimeData* data)
{
    std::vector<std::string> paths;
    if (data && data->hasUrls()) {
        for (const QUrl& url : data->urls())
            paths.push_back(url.isLocalFile() ? url.toLocalFile().toStdString() : std::string());
    }
    return paths;
}

} // namespace

void QtMainDialog::dragEnterEvent(QDragEnterEvent* event)
{
    if (window->MayEnd() && MainDialog::AcceptsDrop(DroppedPaths(event->mimeData())))
        event->acceptProposedAction();
}

void QtMainDialog::dropEvent(QDropEvent* event)
{
    window->OnFilesDropped(DroppedPaths(event->mimeData()));
    event->acceptProposedAction();
}
