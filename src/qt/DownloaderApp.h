#pragma once

#include "AppSettings.h"
#include "QtMainDialog.h"

#include <QApplication>

// The application object: its start-up is the whole life of the program.
class DownloaderApp : public QApplication {
    Q_OBJECT
public:
    DownloaderApp(int& argc, char** argv);

    // Loads the settings, runs the main window modally, saves the settings
    // whatever ended the run, and returns the process's exit code.
    int StartUp();

    // The body of StartUp over any store, so that tests can run it.
    static void RunSession(AppSettings& settings, SettingsStore& store, MainDialog::PortLister listPorts);

    AppSettings settings;
};
