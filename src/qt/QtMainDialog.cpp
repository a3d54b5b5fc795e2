#include "QtMainDialog.h"

#include "AboutDialog.h"
#include "AppIcon.h"
#include "BootloaderDialog.h"
#include "DownloadFileDialog.h"
#include "DownloadProgressDialog.h"
#include "HistoryDialog.h"
#include "EthernetPage.h"
#include "IpAddressEdit.h"
#include "MessageBoxSeam.h"
#include "PathDisplay.h"
#include "PortListWatcher.h"
#include "QtDownloadReporter.h"
#include "QtNotifyTarget.h"
#include "ResultsLog.h"
#include "SerialPage.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>

QtMainDialog* gMainDialog = nullptr;

namespace {

// Texts keep the system's "\r\n" line ends; Qt's widgets want plain "\n".
QString ForDisplay(const std::string& text)
{
    return QString::fromStdString(text).replace("\r\n", "\n");
}

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
    SetupForm(this);
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

    historyAction = new QAction("Download &history...", this);
    connect(historyAction, &QAction::triggered, this, [w] { w->OnHistory(); });
    addAction(historyAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    resultsLog->addAction(historyAction);
}

void QtMainDialog::ShowPath(const std::string& path) { pathDisplay->SetPath(QString::fromStdString(path)); }
void QtMainDialog::ShowSizeText(const std::string& text) { sizeStatic->setText(ForDisplay(text)); }
void QtMainDialog::ShowAutoOpen(bool checked) { autoOpenBox->setChecked(checked); }
void QtMainDialog::RaiseWindow() { raise(); activateWindow(); }
void QtMainDialog::EndDialog() { accept(); }
void QtMainDialog::ClearResults() { resultsLog->Clear(); }
std::string QtMainDialog::TransmitText() { return serialPage->TransmitText()->text().toLatin1().toStdString(); }
void QtMainDialog::ShowAddress(const std::array<uint8_t, 4>& bytes)
{
    ethernetPage->AddressControl()->SetAddress(bytes);
}
std::array<uint8_t, 4> QtMainDialog::AddressInControl() { return ethernetPage->AddressControl()->Address(); }
void QtMainDialog::ShowAddressHistory(const std::vector<std::string>& rows) { ethernetPage->ShowHistory(rows); }
void QtMainDialog::ShowProgressStatus(const std::string& text)
{
    progressDialog->StatusLine()->setText(QString::fromStdString(text));
}
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
    progressDialog->ShowOver(this, QString::fromStdString(caption), totalBytes);
}

void QtMainDialog::ShowMessage(const std::string& text, MessageIcon icon, const std::string& detail)
{
    using Icon = MessageBoxSeam::Icon;
    const Icon shown = icon == MessageIcon::Exclamation ? Icon::Exclamation : Icon::None;
    MessageBoxSeam::Show(this, QString::fromStdString(text), shown, QString::fromStdString(detail));
}

std::string QtMainDialog::ChooseFile(const std::string& currentPath)
{
    return chooseFile ? chooseFile().toStdString() : DownloadFileDialog::Choose(this, currentPath);
}

bool QtMainDialog::RunBootloaderDialog(const std::string& portText)
{
    MainDialog* w = window.get();
    BootloaderDialog dialog(QString::fromStdString(portText), this,
                            [w](const uint8_t* bytes, int count) { w->AppendBytes(bytes, count, false, 0); });
    return dialog.exec() == QDialog::Accepted;
}

void QtMainDialog::ShowHistory(const HistoryTable& table)
{
    HistoryDialog dialog(table, this);
    if (historyShown)
        historyShown(dialog);
    dialog.exec();
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
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        // The keyboards without a Menu key open a context menu so; Qt maps only the key.
        QWidget* target = QApplication::focusWidget() && isAncestorOf(QApplication::focusWidget())
                              ? QApplication::focusWidget()
                              : this;
        const QPoint at = target->rect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, target->mapToGlobal(at));
        QApplication::sendEvent(target, &menu);
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
