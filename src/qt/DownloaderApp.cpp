#include "DownloaderApp.h"

#include "AppIcon.h"
#include "ComPortNames.h"
#include "QtMainDialog.h"
#include "QSettingsStore.h"

#include <QFileInfo>

#include <memory>

DownloaderApp::DownloaderApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setOrganizationName("Tavrix Corporation");
    setWindowIcon(AppIcon::Get());
}

int DownloaderApp::StartUp()
{
    // The store is named after the executable, as the program has always done.
    QSettingsStore store(QFileInfo(applicationFilePath()).completeBaseName());
    RunSession(settings, store, [] { return ComPortNames::List(); });
    return 0;
}

void DownloaderApp::RunSession(AppSettings& settings, SettingsStore& store, MainDialog::PortLister listPorts)
{
    settings.Load(store);
    auto dialog = std::make_unique<QtMainDialog>(settings, std::move(listPorts));
    dialog->exec(); // how the run ended does not matter: the settings are saved alike
    // Saved before the window is torn down: closing a port on a held line takes
    // time, and nothing that goes wrong then may cost the run's settings.
    settings.Save(store);
    store.Sync();
    dialog.reset();
}
