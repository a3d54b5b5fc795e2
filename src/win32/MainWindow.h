#pragma once

#include "EthernetPageWindow.h"
#include "MainDialog.h"
#include "MainDialogView.h"
#include "ProgressWindow.h"
#include "SerialPageWindow.h"
#include "Win32DownloadReporter.h"
#include "WindowNotifyTarget.h"

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class AppSettings;
class HistoryWindow;
class ResultsBox;
class SettingsStore;

// The main window's face on Win32 (dialog 102 with its pages 201 and 202, the
// progress dialog 203, the history 204): the dialog procedures turn the controls' messages into
// the operations of the window's behaviour (MainDialog), and draw what that
// behaviour shows. The console port's notifications arrive as posted
// WM_SERIAL_ messages, a worker's reports as sent ones.
class MainWindow : public MainDialogView {
public:
    MainWindow(AppSettings& settings, MainDialog::PortLister listPorts);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The program's whole life: settings loaded from the store, the window
    // run modally, the settings saved however it ended.
    static void RunSession(HINSTANCE instance, AppSettings& settings, SettingsStore& store,
                           MainDialog::PortLister listPorts);

    int RunModal(HINSTANCE instance);
    // The same window without a modal loop of its own, for tests that drive
    // it with messages. It is destroyed where the modal run would end.
    HWND CreateModeless(HINSTANCE instance);
    bool Ended() const { return ended; }
    int EndResult() const { return endResult; }

    HWND Window() const { return window; }
    MainDialog& Behaviour() { return *behaviour; }
    SerialPageWindow& SerialPage() { return serialPage; }
    EthernetPageWindow& EthernetPage() { return ethernetPage; }
    ProgressWindow& Progress() { return progress; }
    ResultsBox* Results() const;
    HICON Icon() const { return icon; }

    // File-open dialog seam for tests: returns the chosen path, or empty on Cancel.
    std::function<std::string()> chooseFile;
    // Called with the history dialog once it shows, inside its modal run (tests drive it from here).
    std::function<void(HistoryWindow&)> historyShown;

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

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK DialogKeys(int code, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCommand(int id, int code);
    void OnEnterKey();
    void OnTabSelected();
    void OnDroppedFiles(HDROP drop);
    bool PaintMinimised();
    void End(int result);

    AppSettings& settings;
    MainDialog::PortLister listPorts;
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    HICON icon = nullptr;
    HICON smallIcon = nullptr;
    HHOOK keyHook = nullptr;
    bool modal = false;
    bool ended = false;
    int endResult = 0;
    SerialPageWindow serialPage;
    EthernetPageWindow ethernetPage;
    ProgressWindow progress;
    WindowNotifyTarget notifyTarget;
    Win32DownloadReporter reporter;
    std::unique_ptr<MainDialog> behaviour;
};
