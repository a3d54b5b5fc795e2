#pragma once

#include "EthernetPageWindow.h"
#include "ProgressWindow.h"
#include "SerialPageWindow.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class AppSettings;
class ResultsBox;
class SettingsStore;

// The program's one window (dialog 102): file selection, the transport tabs
// with their pages, the console port toggle and the results box.
class MainWindow {
public:
    // Lists the serial devices present now.
    using PortLister = std::function<std::vector<std::string>()>;

    MainWindow(AppSettings& settings, PortLister listPorts);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The program's whole life: settings loaded from the store, the window
    // run modally, the settings saved however it ended.
    static void RunSession(HINSTANCE instance, AppSettings& settings, SettingsStore& store, PortLister listPorts);

    int RunModal(HINSTANCE instance);
    // The same window without a modal loop of its own, for tests that drive
    // it with messages. It is destroyed where the modal run would end.
    HWND CreateModeless(HINSTANCE instance);
    bool Ended() const { return ended; }
    int EndResult() const { return endResult; }

    HWND Window() const { return window; }
    SerialPageWindow& SerialPage() { return serialPage; }
    EthernetPageWindow& EthernetPage() { return ethernetPage; }
    ProgressWindow& Progress() { return progress; }
    ResultsBox* Results() const;
    HICON Icon() const { return icon; }

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCommand(int id, int code);
    void OnTabChanged();
    bool PaintMinimised();
    void End(int result);

    AppSettings& settings;
    PortLister listPorts;
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    HICON icon = nullptr;
    HICON smallIcon = nullptr;
    bool modal = false;
    bool ended = false;
    int endResult = 0;
    SerialPageWindow serialPage;
    EthernetPageWindow ethernetPage;
    ProgressWindow progress;
};
