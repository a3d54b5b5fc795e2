// vennix.exe: the window program on Windows.

#include "AppSettings.h"
#include "PortDescriptions.h"
#include "MainWindow.h"
#include "RegistrySettingsStore.h"
#include "ResultsBox.h"

#include <windows.h>
#include <commctrl.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_INTERNET_CLASSES |
                                                        ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    ResultsBox::Register(instance);

    AppSettings settings;
    // The store is named after the executable, as the program has always done.
    RegistrySettingsStore store(RegistrySettingsStore::ExecutableName());
    MainWindow::RunSession(instance, settings, store, [] { return PortDescriptions::List(); });
    return 0;
}
