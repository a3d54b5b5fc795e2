// The main window and its pages as real dialogs under wine, driven in process
// by messages to their controls.

#include "AppSettings.h"
#include "MainWindow.h"
#include "MemorySettingsStore.h"
#include "RegistrySettingsStore.h"
#include "ResourceIds.h"
#include "ResultsBox.h"
#include "Win32MessageBox.h"
#include "Win32TestWindows.h"

#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace Win32TestWindows;

namespace {

std::string ComboItem(HWND list, int index)
{
    int length = static_cast<int>(::SendMessageA(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0));
    if (length < 0)
        return "<none>";
    std::string text(static_cast<size_t>(length) + 1, '\0');
    ::SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

std::string Selected(HWND list)
{
    return ComboItem(list, static_cast<int>(::SendMessageA(list, CB_GETCURSEL, 0, 0)));
}

// A control's rectangle in its dialog's client coordinates.
RECT ClientRect(HWND dialog, HWND control)
{
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// As the dialog manager places a control: its origin and its size converted each on its own.
RECT Units(HWND dialog, int x, int y, int w, int h)
{
    RECT units{x, y, w, h};
    ::MapDialogRect(dialog, &units);
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterClasses();
        Win32MessageBox::StartRecording();
    }
    void TearDown() override
    {
        if (window && ::IsWindow(window->Window()))
            ::DestroyWindow(window->Window());
        PumpPending();
        Win32MessageBox::StopRecording();
    }
    void Open(std::vector<std::string> ports = {"COM1", "COM10", "COM3"})
    {
        window = std::make_unique<MainWindow>(settings, [ports] { return ports; });
        ASSERT_NE(window->CreateModeless(Instance()), nullptr);
        PumpPending();
    }
    HWND Item(int id) const { return ::GetDlgItem(window->Window(), id); }
    HWND SerialItem(int id) const { return ::GetDlgItem(window->SerialPage().Window(), id); }
    HWND EthernetItem(int id) const { return ::GetDlgItem(window->EthernetPage().Window(), id); }

    AppSettings settings;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, IsBuiltFromItsTemplateWithTabsPagesMenuAndIcon)
{
    settings.portstatus = 0;
    Open();
    HWND dialog = window->Window();
    EXPECT_EQ(WindowText(dialog), "Lumetra Download Utility");
    const LONG style = ::GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(::GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    // A few controls where the template puts them, in dialog units.
    const struct {
        int id;
        RECT units;
    } placed[] = {{IDC_DOWNLOAD, {166, 74, 110, 40}}, {IDC_TABS, {7, 34, 145, 115}},
                  {IDC_PORT_TOGGLE, {7, 240, 86, 21}}, {IDC_RESULTS, {10, 162, 270, 70}},
                  {IDC_AUTO_OPEN, {7, 265, 162, 9}},  {IDC_PATH, {8, 16, 237, 15}}};
    for (const auto& control : placed) {
        RECT expected = Units(dialog, control.units.left, control.units.top, control.units.right, control.units.bottom);
        RECT actual = ClientRect(dialog, Item(control.id));
        EXPECT_EQ(actual.left, expected.left) << control.id;
        EXPECT_EQ(actual.top, expected.top) << control.id;
        EXPECT_EQ(actual.right, expected.right) << control.id;
        EXPECT_EQ(actual.bottom, expected.bottom) << control.id;
    }
    EXPECT_EQ(WindowText(Item(IDC_PORT_TOGGLE)), "Serial &port is closed");
    EXPECT_EQ(WindowText(Item(IDC_DOWNLOAD)), "&Download Application or\n Upgrade Firmware");
    EXPECT_NE(window->Results(), nullptr);

    HWND tabs = Item(IDC_TABS);
    ASSERT_EQ(::SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    char tabText[32];
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = tabText;
    item.cchTextMax = sizeof(tabText);
    ::SendMessageA(tabs, TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(tabText, "Serial");
    ::SendMessageA(tabs, TCM_GETITEMA, 1, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(tabText, "Ethernet");

    // The pages cover the tab control's display area; the serial one shows.
    RECT area = ClientRect(dialog, tabs);
    ::MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&area), 2);
    ::SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
    RECT page = ClientRect(dialog, window->SerialPage().Window());
    EXPECT_TRUE(::EqualRect(&page, &area));
    EXPECT_TRUE(::IsWindowVisible(window->SerialPage().Window()));
    EXPECT_FALSE(::IsWindowVisible(window->EthernetPage().Window()));

    HMENU systemMenu = ::GetSystemMenu(dialog, FALSE);
    char about[64] = "";
    ASSERT_GT(::GetMenuStringA(systemMenu, IDM_ABOUTBOX, about, sizeof(about), MF_BYCOMMAND), 0);
    EXPECT_STREQ(about, "&About Vennix...");

    EXPECT_NE(::SendMessageA(dialog, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(::SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageA(dialog, WM_QUERYDRAGICON, 0, 0)), window->Icon());

    // The progress dialog exists from the start, hidden, with its rate line.
    HWND progress = window->Progress().Window();
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(::IsWindowVisible(progress));
    EXPECT_EQ(WindowText(progress), "Ethernet Download Progress");
    EXPECT_NE(::GetDlgItem(progress, IDC_PROGRESS_DETAIL), nullptr);
}

TEST_F(MainWindowTest, StoredSettingsChooseTheTabTheListsAndTheAddress)
{
    settings.useethernet = 1;
    settings.serialport = "COM1";
    settings.baud = "9600";
    settings.dataformat = "8E1";
    settings.ip1 = "10.1.2.300";
    settings.ip2 = "";
    settings.portstatus = 2;
    Open({"COM1", "COM10", "COM3"});
    EXPECT_TRUE(::IsWindowVisible(window->EthernetPage().Window()));
    EXPECT_FALSE(::IsWindowVisible(window->SerialPage().Window()));
    EXPECT_EQ(::SendMessageA(Item(IDC_TABS), TCM_GETCURSEL, 0, 0), 1);

    // The behaviour's order and selection, whatever the list's own sorting would do.
    HWND ports = SerialItem(IDC_PORT_LIST);
    EXPECT_EQ(ComboItem(ports, 0), "COM1");
    EXPECT_EQ(ComboItem(ports, 1), "COM10");
    EXPECT_EQ(ComboItem(ports, 2), "COM3");
    EXPECT_EQ(Selected(ports), "COM1");
    EXPECT_EQ(Selected(SerialItem(IDC_BAUD_LIST)), "9600");
    EXPECT_EQ(Selected(SerialItem(IDC_FORMAT_LIST)), "8e1");
    EXPECT_EQ(::SendMessageA(SerialItem(IDC_BAUD_LIST), CB_GETCOUNT, 0, 0), 10);

    DWORD address = 0;
    ::SendMessageA(EthernetItem(IDC_IP_ADDRESS), IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    EXPECT_EQ(address, static_cast<DWORD>(MAKEIPADDRESS(10, 1, 2, 44)));
    EXPECT_EQ(window->Behaviour().addressText, "10.1.2.44");
    HWND history = EthernetItem(IDC_IP_HISTORY);
    ASSERT_EQ(::SendMessageA(history, CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(ComboItem(history, 0), "10.1.2.300");
    EXPECT_EQ(ComboItem(history, 1), "");
    EXPECT_EQ(ComboItem(history, 3), "192.168.1.50");
    EXPECT_EQ(::SendMessageA(history, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(::IsDlgButtonChecked(window->Window(), IDC_AUTO_OPEN), static_cast<UINT>(BST_UNCHECKED));

    // Picking a history row fills the address control and the address text.
    ::SendMessageA(history, CB_SETCURSEL, 0, 0);
    ::SendMessageA(window->EthernetPage().Window(), WM_COMMAND, MAKEWPARAM(IDC_IP_HISTORY, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(history));
    EXPECT_EQ(window->Behaviour().addressText, "10.1.2.300");
}

TEST_F(MainWindowTest, TheTabAndTheCheckBoxChangeTheSettingsAndEscEndsTheRun)
{
    settings.portstatus = 0;
    Open();
    HWND tabs = Item(IDC_TABS);
    ::SendMessageA(tabs, TCM_SETCURSEL, 1, 0);
    NMHDR change{tabs, IDC_TABS, static_cast<UINT>(TCN_SELCHANGE)};
    ::SendMessageA(window->Window(), WM_NOTIFY, IDC_TABS, reinterpret_cast<LPARAM>(&change));
    EXPECT_EQ(settings.useethernet, 1);
    EXPECT_TRUE(::IsWindowVisible(window->EthernetPage().Window()));
    EXPECT_FALSE(::IsWindowEnabled(window->SerialPage().Window()));

    ::SendMessageA(Item(IDC_AUTO_OPEN), BM_CLICK, 0, 0);
    EXPECT_EQ(settings.portstatus, 1);
    EXPECT_FALSE(window->Behaviour().IsPortOpen()); // the box only records the choice
    ::SendMessageA(Item(IDC_AUTO_OPEN), BM_CLICK, 0, 0);
    EXPECT_EQ(settings.portstatus, 0);

    ::SendMessageA(window->Window(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(window->Ended());
    EXPECT_EQ(window->EndResult(), IDCANCEL);
}

TEST_F(MainWindowTest, ThePortListFollowsTheAdaptersWhenWindowsSaysTheyCameOrWent)
{
    settings.portstatus = 0;
    auto present = std::make_shared<std::vector<std::string>>(std::vector<std::string>{"COM1 (Serial)"});
    window = std::make_unique<MainWindow>(settings, [present] { return *present; });
    ASSERT_NE(window->CreateModeless(Instance()), nullptr);
    PumpPending();
    HWND list = SerialItem(IDC_PORT_LIST);
    ASSERT_EQ(::SendMessageA(list, CB_GETCOUNT, 0, 0), 1);

    *present = {"COM1 (Serial)", "COM7 (USB Serial Port)"};
    ::SendMessageA(window->Window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    ASSERT_EQ(::SendMessageA(list, CB_GETCOUNT, 0, 0), 2);
    char text[64] = "";
    ::SendMessageA(list, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "COM7 (USB Serial Port)");

    // Other device news (a volume, a query) leaves the list alone.
    *present = {"COM1 (Serial)"};
    ::SendMessageA(window->Window(), WM_DEVICECHANGE, DBT_QUERYCHANGECONFIG, 0);
    EXPECT_EQ(::SendMessageA(list, CB_GETCOUNT, 0, 0), 2);
    ::SendMessageA(window->Window(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
    EXPECT_EQ(::SendMessageA(list, CB_GETCOUNT, 0, 0), 1);
}

TEST_F(MainWindowTest, TheProgressDialogSitsOverTheWindowAndItsCancelReachesTheBehaviour)
{
    settings.portstatus = 0;
    Open();
    HWND progress = window->Progress().Window();
    window->ShowProgressDialog("Serial Downloading...", 1000);
    ASSERT_TRUE(::IsWindowVisible(progress));
    EXPECT_EQ(WindowText(progress), "Serial Downloading...");
    RECT main{};
    RECT own{};
    ::GetWindowRect(window->Window(), &main);
    ::GetWindowRect(progress, &own);
    EXPECT_EQ(own.left, main.left + static_cast<int>(0.5 * ((main.right - main.left) - (own.right - own.left))));
    EXPECT_EQ(own.top, main.top + static_cast<int>(0.3 * ((main.bottom - main.top) - (own.bottom - own.top))));

    ::SendMessageA(::GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_TRUE(window->Behaviour().IsCancelled());
    EXPECT_FALSE(::IsWindowVisible(progress));
}

// The whole session, modal as the program runs it, against the registry:
// the test's steps run from a timer inside the modal loop.
class RegistrySessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterClasses();
        application = "VennixSessionTest" + std::to_string(::GetCurrentProcessId());
        ::RegDeleteTreeA(HKEY_CURRENT_USER, RegistrySettingsStore::KeyPath(application).c_str());
        Win32MessageBox::StartRecording();
    }
    void TearDown() override
    {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, RegistrySettingsStore::KeyPath(application).c_str());
        Win32MessageBox::StopRecording();
    }

    // Runs a session whose window `drive` works on and ends.
    void RunSession(std::function<void(HWND)> drive)
    {
        steps = std::move(drive);
        UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &RegistrySessionTest::Drive);
        AppSettings settings;
        RegistrySettingsStore store(application);
        MainWindow::RunSession(Instance(), settings, store, [] { return std::vector<std::string>{"COM4"}; });
        ::KillTimer(nullptr, timer);
    }

    static VOID CALLBACK Drive(HWND, UINT, UINT_PTR timer, DWORD)
    {
        HWND dialog = ::FindWindowA(nullptr, "Lumetra Download Utility");
        if (!dialog || !::IsWindowVisible(dialog))
            return;
        ::KillTimer(nullptr, timer);
        steps(dialog);
    }

    AppSettings Stored()
    {
        AppSettings settings;
        RegistrySettingsStore store(application);
        settings.Load(store);
        return settings;
    }

    static std::function<void(HWND)> steps;
    std::string application;
};

std::function<void(HWND)> RegistrySessionTest::steps;

void ChooseEthernetTab(HWND dialog)
{
    HWND tabs = ::GetDlgItem(dialog, IDC_TABS);
    ::SendMessageA(tabs, TCM_SETCURSEL, 1, 0);
    NMHDR change{tabs, IDC_TABS, static_cast<UINT>(TCN_SELCHANGE)};
    ::SendMessageA(dialog, WM_NOTIFY, IDC_TABS, reinterpret_cast<LPARAM>(&change));
}

TEST_F(RegistrySessionTest, TheRegistryHoldsTheSettingsAfterClose)
{
    RunSession([](HWND dialog) {
        ChooseEthernetTab(dialog);
        ::SendMessageA(::GetDlgItem(dialog, IDC_AUTO_OPEN), BM_CLICK, 0, 0);
        ::SendMessageA(::GetDlgItem(dialog, IDC_CLOSE_WINDOW), BM_CLICK, 0, 0);
    });
    AppSettings stored = Stored();
    EXPECT_EQ(stored.useethernet, 1);
    EXPECT_EQ(stored.portstatus, 0);
    EXPECT_EQ(stored.ip4, "192.168.1.50");
}

TEST_F(RegistrySessionTest, EscSavesAsCloseDoes)
{
    RunSession([](HWND dialog) {
        ChooseEthernetTab(dialog);
        ::PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_EQ(Stored().useethernet, 1);

    // The next run starts on the tab the last one ended on, and the close box saves too.
    RunSession([](HWND dialog) {
        EXPECT_EQ(::SendMessageA(::GetDlgItem(dialog, IDC_TABS), TCM_GETCURSEL, 0, 0), 1);
        HWND tabs = ::GetDlgItem(dialog, IDC_TABS);
        ::SendMessageA(tabs, TCM_SETCURSEL, 0, 0);
        NMHDR change{tabs, IDC_TABS, static_cast<UINT>(TCN_SELCHANGE)};
        ::SendMessageA(dialog, WM_NOTIFY, IDC_TABS, reinterpret_cast<LPARAM>(&change));
        ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(Stored().useethernet, 0);
}

} // namespace
