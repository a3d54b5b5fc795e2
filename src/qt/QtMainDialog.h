#pragma once

#include "MainDialog.h"
#include "MainDialogForm.h"
#include "MainDialogView.h"

#include <QDialog>

#include <functional>
#include <memory>

class HistoryDialog;
class PortListWatcher;
class QAction;
class QtDownloadReporter;

// The main window's face on Qt: its widgets and their layout (the form), the
// wiring of their signals to the window's behaviour (MainDialog), and the
// drawing of what that behaviour shows.
class QtMainDialog : public QDialog, public MainDialogForm, public MainDialogView {
    Q_OBJECT
public:
    explicit QtMainDialog(AppSettings& settings, MainDialog::PortLister listPorts = {}, QWidget* parent = nullptr);
    ~QtMainDialog() override;

    MainDialog& Window() { return *window; }

    // Refreshes the port list when devices come or go while the window is shown.
    PortListWatcher* portWatcher = nullptr;

    // File-open dialog seam for tests: returns the chosen path, or empty on Cancel.
    std::function<QString()> chooseFile;

    // "Download &history...": in the window's context menu (a right click on
    // anything without a menu of its own, the Menu key or Shift+F10) and the
    // results box's; Linux windows have no system menu of the program's own.
    QAction* historyAction = nullptr;
    // Called with each history dialog before it runs; tests close it from here.
    std::function<void(HistoryDialog&)> historyShown;

    // MainDialogView
    void ShowPath(const std::string& path) override;
    void ShowSizeText(const std::string& text) override;
    void ShowDownloadButton(bool enabled, const std::string& text) override;
    void ShowPortToggle(bool pressed, const std::string& text) override;
    void ShowAutoOpen(bool checked) override;
    void ShowTab(int index) override;
    void EnablePages(bool serialEnabled, bool ethernetEnabled) override;
    void EnableWindow(bool enabled) override;
    void RaiseWindow() override;
    void EndDialog() override;
    void AppendResults(const uint8_t* bytes, size_t count, bool coloured, uint32_t colour) override;
    void ClearResults() override;
    void ShowSerialList(SerialList list, const std::vector<std::string>& items, int selected) override;
    void SelectSerialItem(SerialList list, int index) override;
    std::string TransmitText() override;
    void ShowAddress(const std::array<uint8_t, 4>& address) override;
    std::array<uint8_t, 4> AddressInControl() override;
    void ShowAddressHistory(const std::vector<std::string>& rows) override;
    void ShowProgressDialog(const std::string& caption, int64_t totalBytes) override;
    void HideProgressDialog() override;
    void ShowProgressStatus(const std::string& text) override;
    void ShowProgressBar(int percent) override;
    void ShowMessage(const std::string& text, MessageIcon icon, const std::string& detail) override;
    std::string ChooseFile(const std::string& currentPath) override;
    bool RunBootloaderDialog(const std::string& portText) override;
    void ShowHistory(const HistoryTable& table) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void Wire();

    std::unique_ptr<QtDownloadReporter> reporter;
    std::unique_ptr<MainDialog> window;
};

extern QtMainDialog* gMainDialog;
