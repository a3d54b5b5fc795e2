// The whole window against the native terminal simulator as COM ports and its
// TFTP server, driven in process by messages to the real controls:
// downloads of each kind, the port toggle, chatter, induction, a pulled
// adapter and a dropped file. scripts/test-windows.sh starts the terminals
// and names them, the files and the TFTP port in VENNIX_TEST_PORTS,
// VENNIX_TEST_FILES and VENNIX_TEST_TFTP_PORT; it then compares what the
// simulators received with the files. Without them the cases are skipped.

#include "AppSettings.h"
#include "HistoryWindow.h"
#include "MainWindow.h"
#include "ResourceIds.h"
#include "ResultsBox.h"
#include "Sha256Digest.h"
#include "Win32MessageBox.h"
#include "Win32TestWindows.h"
#include "WindowRecorder.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace Win32TestWindows;

namespace {

#define NEED(name, variable, role)                                                                               \
    const std::string name = Named(variable, role);                                                              \
    if (name.empty())                                                                                            \
        GTEST_SKIP() << "needs the terminal simulator (scripts/test-windows.sh)";

// Long enough for a paced 64 KiB firmware and the loaders' dialogue.
constexpr int DownloadLimitMs = 60000;

class MainWindowTerminalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterClasses();
        Win32MessageBox::StartRecording();
        settings.portstatus = 0;
    }
    void TearDown() override
    {
        if (window && ::IsWindow(window->Window()))
            ::DestroyWindow(window->Window());
        window.reset();
        PumpPending();
        Win32MessageBox::StopRecording();
    }
    void Open(const std::string& port)
    {
        settings.serialport = port;
        window = std::make_unique<MainWindow>(settings, [port] { return std::vector<std::string>{port}; });
        ASSERT_NE(window->CreateModeless(Instance()), nullptr);
        PumpPending();
    }
    HWND Item(int id) const { return ::GetDlgItem(window->Window(), id); }
    void Click(HWND button) { ::SendMessageA(button, BM_CLICK, 0, 0); }
    std::string Results()
    {
        const ConsoleHistory& history = window->Results()->History();
        return history.Text({0, 0}, history.End());
    }
    // Enter in a dialog as the dialog manager takes it, with `control` focused.
    void PressEnter(HWND control)
    {
        ::SendMessageA(window->Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
        MSG key{control, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {}};
        ::IsDialogMessageA(window->Window(), &key);
    }
    // Chooses the file, starts the download with the Download button or, with
    // `enterIn`, with Enter in that control, and runs until it is over; keeps
    // the last rate line the progress dialog showed.
    bool Download(const std::string& path, HWND enterIn = nullptr)
    {
        window->chooseFile = [path] { return path; };
        Click(Item(IDC_BROWSE));
        EXPECT_TRUE(::IsWindowEnabled(Item(IDC_DOWNLOAD))) << path;
        if (enterIn)
            PressEnter(enterIn);
        else
            Click(Item(IDC_DOWNLOAD));
        EXPECT_FALSE(::IsWindowEnabled(window->Window())); // disabled while the worker runs
        rateLine.clear();
        return PumpUntil(
            [this] {
                const std::string rate = window->Progress().RateText();
                if (!rate.empty())
                    rateLine = rate;
                return !window->Behaviour().IsDownloadRunning();
            },
            DownloadLimitMs);
    }

    AppSettings settings;
    std::unique_ptr<MainWindow> window;
    std::string rateLine;
};

TEST_F(MainWindowTerminalTest, AFirmwareGoesThroughTheBootloaderAndAnApplicationWithXonXoff)
{
    NEED(port, "VENNIX_TEST_PORTS", "download");
    NEED(firmware, "VENNIX_TEST_FILES", "firmware");
    NEED(application, "VENNIX_TEST_FILES", "application");
    Open(port);
    ASSERT_TRUE(Download(firmware));
    EXPECT_TRUE(::IsWindowEnabled(window->Window()));
    EXPECT_FALSE(::IsWindowVisible(window->Progress().Window()));
    EXPECT_NE(Results().find("Download is finished."), std::string::npos) << Results();
    // Under the bar while it ran: the rate, and the time left.
    EXPECT_NE(rateLine.find("B/s"), std::string::npos) << rateLine;
    EXPECT_NE(rateLine.find(" left"), std::string::npos) << rateLine;

    ASSERT_TRUE(Download(application));
    const std::string results = Results();
    EXPECT_NE(results.find("Download is finished.", results.find("Download is finished.") + 1), std::string::npos)
        << results;
    EXPECT_TRUE(Win32MessageBox::Recorded().empty());

    // Each download left its record: the history from the system menu shows
    // the application, then the firmware, each with its file's digest.
    window->Behaviour().Recorder().WaitUntilWritten();
    std::vector<std::vector<std::string>> rows;
    window->historyShown = [&rows](HistoryWindow& history) {
        for (int row = 0; row < 2; ++row) {
            rows.emplace_back();
            for (int column : {1, 2, 3, 6}) {
                char text[256] = "";
                LVITEMA item{};
                item.iSubItem = column;
                item.pszText = text;
                item.cchTextMax = sizeof(text);
                ::SendMessageA(history.List(), LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                               reinterpret_cast<LPARAM>(&item));
                rows.back().push_back(text);
            }
        }
        ::EndDialog(history.Window(), IDCANCEL);
    };
    ::SendMessageA(window->Window(), WM_SYSCOMMAND, IDM_HISTORY, 0);
    auto digest = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        return Sha256Digest::HexOf(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    };
    auto name = [](const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); };
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& row : rows)
        EXPECT_EQ(row[0].rfind(port, 0), 0u) << row[0]; // "COMn", with its device when Windows names one
    EXPECT_EQ(std::vector<std::string>(rows[0].begin() + 1, rows[0].end()),
              (std::vector<std::string>{name(application), "finished", digest(application)}));
    EXPECT_EQ(std::vector<std::string>(rows[1].begin() + 1, rows[1].end()),
              (std::vector<std::string>{name(firmware), "finished", digest(firmware)}));
}

TEST_F(MainWindowTerminalTest, AFileGoesOverTftpToTheAddressInTheControl)
{
    NEED(tftp, "VENNIX_TEST_FILES", "tftp");
    const char* tftpPort = std::getenv("VENNIX_TEST_TFTP_PORT");
    if (!tftpPort)
        GTEST_SKIP() << "needs the simulator's TFTP server (scripts/test-windows.sh)";
    settings.useethernet = 1;
    Open("COM1");
    window->Behaviour().unitTftpPort = static_cast<uint16_t>(std::atoi(tftpPort));
    HWND address = ::GetDlgItem(window->EthernetPage().Window(), IDC_IP_ADDRESS);
    ::SendMessageA(address, IPM_SETADDRESS, 0, MAKEIPADDRESS(127, 0, 0, 1));
    // Enter in the address starts the download, as Download would.
    ASSERT_TRUE(Download(tftp, ::GetWindow(address, GW_CHILD)));
    EXPECT_NE(Results().find("Download is finished."), std::string::npos) << Results();
    EXPECT_EQ(settings.ip1, "127.0.0.1"); // the address entered the history
}

TEST_F(MainWindowTerminalTest, ThePortToggleOpensAndClosesThePortChatterIsShownAndEnterSendsFromXmit)
{
    NEED(port, "VENNIX_TEST_PORTS", "chatter");
    Open(port);
    HWND toggle = Item(IDC_PORT_TOGGLE);
    Click(toggle);
    ASSERT_TRUE(window->Behaviour().IsPortOpen()) << (Win32MessageBox::Recorded().empty() ? "" : Win32MessageBox::Recorded()[0]);
    EXPECT_EQ(WindowText(toggle), "&Port " + port + " open\r\n115200, 8n1");
    EXPECT_EQ(::SendMessageA(toggle, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(settings.serialport, port);

    // The terminal's status lines arrive through WM_SERIAL_RECEIVED.
    ASSERT_TRUE(PumpUntil([this] { return window->Results()->History().RowCount() > 5; }));
    EXPECT_NE(Results().find(": running, 41 C"), std::string::npos) << Results();

    Click(toggle);
    EXPECT_FALSE(window->Behaviour().IsPortOpen());
    EXPECT_EQ(WindowText(toggle), "Serial &port is closed");
    EXPECT_EQ(::SendMessageA(toggle, BM_GETCHECK, 0, 0), BST_UNCHECKED);

    // Enter in the Xmit edit sends, and sending opens the port again; Enter
    // on a focused button presses that button, not Download.
    HWND xmit = ::GetDlgItem(window->SerialPage().Window(), IDC_XMIT_TEXT);
    ::SetWindowTextA(xmit, "Q;W;Q;");
    PressEnter(xmit);
    EXPECT_TRUE(window->Behaviour().IsPortOpen());
    EXPECT_EQ(::SendMessageA(toggle, BM_GETCHECK, 0, 0), BST_CHECKED);
    ASSERT_GT(window->Results()->History().RowCount(), 0u);
    PressEnter(Item(IDC_CLEAR_RESULTS));
    EXPECT_EQ(Results(), "");
    EXPECT_TRUE(Win32MessageBox::Recorded().empty());
}

TEST_F(MainWindowTerminalTest, InducingTheBootloaderLogsTheOutcomeAndReopensThePort)
{
    NEED(port, "VENNIX_TEST_PORTS", "induce-window");
    settings.baud = "9600";
    settings.dataformat = "8e1";
    Open(port);
    Click(::GetDlgItem(window->SerialPage().Window(), IDC_INDUCE));
    const std::string results = Results();
    EXPECT_NE(results.find("Bootloader entered!"), std::string::npos) << results;
    EXPECT_NE(results.find("Port Settings changed to 115200,8N1"), std::string::npos) << results;
    EXPECT_TRUE(window->Behaviour().IsPortOpen());
    EXPECT_EQ(WindowText(Item(IDC_PORT_TOGGLE)), "&Port " + port + " open\r\n115200, 8n1");
}

TEST_F(MainWindowTerminalTest, APulledAdapterReleasesTheToggleAndSaysSoInRed)
{
    NEED(port, "VENNIX_TEST_PORTS", "unplug");
    Open(port);
    Click(Item(IDC_PORT_TOGGLE));
    ASSERT_TRUE(window->Behaviour().IsPortOpen());
    ASSERT_TRUE(PumpUntil([this] { return !window->Behaviour().IsPortOpen(); }, 15000));
    EXPECT_EQ(::SendMessageA(Item(IDC_PORT_TOGGLE), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    const ConsoleHistory& history = window->Results()->History();
    bool red = false;
    for (size_t row = 0; row < history.RowCount(); ++row)
        for (const auto& run : history.RowRuns(row))
            red = red || (run.coloured && run.colour == 0x0000FF && run.text.find("lost") != std::string::npos);
    EXPECT_TRUE(red) << Results();
}

// An HDROP as the shell hands one over, holding the given paths.
HDROP MakeDrop(const std::vector<std::string>& paths)
{
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& path : paths)
        size += path.size() + 1;
    HGLOBAL memory = ::GlobalAlloc(GHND, size);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    char* names = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
    for (const std::string& path : paths) {
        std::memcpy(names, path.c_str(), path.size() + 1);
        names += path.size() + 1;
    }
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

TEST_F(MainWindowTerminalTest, ADroppedFileIsTakenAndSeveralAreNot)
{
    NEED(application, "VENNIX_TEST_FILES", "application");
    NEED(firmware, "VENNIX_TEST_FILES", "firmware");
    Open("COM1");
    ::SendMessageA(window->Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({application})), 0);
    EXPECT_EQ(WindowText(Item(IDC_PATH)), application);
    EXPECT_TRUE(::IsWindowEnabled(Item(IDC_DOWNLOAD)));
    EXPECT_EQ(settings.filename, application);

    ::SendMessageA(window->Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({firmware, application})), 0);
    EXPECT_EQ(WindowText(Item(IDC_PATH)), application);
}

} // namespace
