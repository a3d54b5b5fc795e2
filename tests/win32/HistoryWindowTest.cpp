// The download history on Win32 as a real dialog under wine, driven in process
// from inside its modal run: the system menu reaching it, the rows newest
// first, Copy and Ctrl+C putting whole rows on the clipboard, Export writing
// the CSV or saying why it could not, and a record that could not be written
// told in the results box.

#include "AppSettings.h"
#include "DownloadLog.h"
#include "DownloadRecord.h"
#include "HistoryTable.h"
#include "HistoryWindow.h"
#include "LogLock.h"
#include "MainWindow.h"
#include "ResourceIds.h"
#include "ResultsBox.h"
#include "SampleRecords.h"
#include "UserFolders.h"
#include "Win32MessageBox.h"
#include "Win32TestWindows.h"
#include "WindowRecorder.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace Win32TestWindows;

namespace {

std::string Utf8(const wchar_t* text)
{
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(length > 0 ? length - 1 : 0));
    return narrow;
}

std::string Cell(HWND list, int row, int column)
{
    wchar_t text[512] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return Utf8(text);
}

std::vector<std::string> Columns(HWND list)
{
    std::vector<std::string> names;
    for (int c = 0;; ++c) {
        wchar_t text[128] = L"";
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = 128;
        if (!::SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column)))
            return names;
        names.push_back(Utf8(text));
    }
}

void Select(HWND list, int row, bool selected)
{
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// The clipboard's Unicode text as UTF-8; "<none>" when it holds none.
std::string UnicodeClipboard()
{
    std::string text = "<none>";
    if (!::OpenClipboard(nullptr))
        return text;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = Utf8(chars);
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

void EmptyTheClipboard()
{
    if (::OpenClipboard(nullptr)) {
        ::EmptyClipboard();
        ::CloseClipboard();
    }
}

DownloadRecord Download(const std::string& target, int minutes, RecordOutcome outcome, const std::string& file)
{
    return SampleDownload(target, minutes, outcome, "C:\\images\\" + file, file);
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class HistoryWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterClasses();
        Win32MessageBox::StartRecording();
        char temp[MAX_PATH] = "";
        ::GetTempPathA(MAX_PATH, temp);
        folder = std::filesystem::path(temp) / ("vennix-history-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        settings.portstatus = 0;
        window = std::make_unique<MainWindow>(settings, [] { return std::vector<std::string>{"COM1"}; });
        ASSERT_NE(window->CreateModeless(Instance()), nullptr);
        PumpPending();
    }
    void TearDown() override
    {
        if (window && ::IsWindow(window->Window()))
            ::DestroyWindow(window->Window());
        window.reset();
        PumpPending();
        Win32MessageBox::StopRecording();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // A log of three downloads, written in an order other than their starts'.
    void Prepare()
    {
        DownloadLog log((folder / "downloads.jsonl").string());
        std::string error;
        for (const DownloadRecord& record : {Download("10.0.0.1", 0, RecordOutcome::Finished, "first.bff"),
                                             Download("10.0.0.3", 2, RecordOutcome::Finished, "Ansicht-\xC3\xBC.bff"),
                                             Download("10.0.0.2", 1, RecordOutcome::Failed, "second.bff")})
            ASSERT_TRUE(log.Append(record, &error)) << error;
        table = std::make_unique<HistoryTable>(log);
        ASSERT_TRUE(table->Load(&error)) << error;
    }

    // The history dialog, modal, as the window shows it; `steps` drive it, and
    // it is closed after them whatever they did, so that a failure never hangs.
    void WithHistory(const std::function<void(HistoryWindow&)>& steps, const HistoryTable* shown = nullptr)
    {
        shownCount = 0;
        window->historyShown = [this, steps](HistoryWindow& history) {
            ++shownCount;
            steps(history);
            ::EndDialog(history.Window(), IDCANCEL);
        };
        if (shown)
            window->ShowHistory(*shown);
        else
            ::SendMessageA(window->Window(), WM_SYSCOMMAND, IDM_HISTORY, 0);
        window->historyShown = nullptr;
    }
    static void Click(HWND dialog, int id) { ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

    AppSettings settings;
    std::unique_ptr<MainWindow> window;
    std::filesystem::path folder;
    std::unique_ptr<HistoryTable> table;
    int shownCount = 0;
};

TEST_F(HistoryWindowTest, TheSystemMenuOpensTheHistoryOfTheUsersLogOverTheDisabledWindow)
{
    HMENU systemMenu = ::GetSystemMenu(window->Window(), FALSE);
    char text[64] = "";
    ASSERT_GT(::GetMenuStringA(systemMenu, IDM_HISTORY, text, sizeof(text), MF_BYCOMMAND), 0);
    EXPECT_STREQ(text, "Download &history...");

    WithHistory([this](HistoryWindow& history) {
        HWND dialog = history.Window();
        EXPECT_TRUE(::IsWindowVisible(dialog));
        EXPECT_EQ(::GetWindow(dialog, GW_OWNER), window->Window());
        EXPECT_FALSE(::IsWindowEnabled(window->Window())); // modal
        EXPECT_EQ(WindowText(dialog), "Download History");
        EXPECT_NE(WindowText(::GetDlgItem(dialog, IDC_HISTORY_HEADING)).find(DownloadLog::DefaultPath()),
                  std::string::npos);
        EXPECT_EQ(::GetFocus(), history.List());
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(shownCount, 1);
    EXPECT_TRUE(::IsWindowEnabled(window->Window()));
    EXPECT_TRUE(Win32MessageBox::Recorded().empty());
}

TEST_F(HistoryWindowTest, TheRowsAreNewestFirstAndCopyAndCtrlCTakeWholeRows)
{
    Prepare();
    WithHistory(
        [this](HistoryWindow& history) {
            HWND list = history.List();
            EXPECT_EQ(Columns(list), HistoryTable::Headings());
            ASSERT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
            EXPECT_EQ(Cell(list, 0, 0), "2026-12-09 18:02:00");
            EXPECT_EQ(Cell(list, 0, 1), "10.0.0.3");
            EXPECT_EQ(Cell(list, 0, 2), "Ansicht-\xC3\xBC.bff"); // as recorded, whatever the code page
            EXPECT_EQ(Cell(list, 1, 1), "10.0.0.2");
            EXPECT_EQ(Cell(list, 1, 3), "failed");
            EXPECT_EQ(Cell(list, 1, 7), "No response from the unit.");
            EXPECT_EQ(Cell(list, 2, 1), "10.0.0.1");
            EXPECT_EQ(Cell(list, 2, 4), "4096 of 4096");
            const std::string heading = WindowText(::GetDlgItem(history.Window(), IDC_HISTORY_HEADING));
            EXPECT_NE(heading.find("The latest 3 downloads recorded in "), std::string::npos) << heading;

            // Copy: the headings and the selected rows, in the list's order, with Windows line ends.
            EmptyTheClipboard();
            Select(list, 2, true);
            Select(list, 0, true);
            Click(history.Window(), IDC_HISTORY_COPY);
            const std::string copied = UnicodeClipboard();
            EXPECT_EQ(copied.find("Start (UTC)\tTarget\tFile\tOutcome\t"), 0u) << copied;
            const size_t newest = copied.find("\r\n2026-12-09 18:02:00\t10.0.0.3\tAnsicht-\xC3\xBC.bff\tfinished\t");
            const size_t oldest = copied.find("\r\n2026-12-09 18:00:00\t10.0.0.1\tfirst.bff\t");
            EXPECT_NE(newest, std::string::npos) << copied;
            EXPECT_NE(oldest, std::string::npos) << copied;
            EXPECT_LT(newest, oldest);
            EXPECT_EQ(copied.find("10.0.0.2"), std::string::npos) << copied;
            EXPECT_EQ(copied.substr(copied.size() - 2), "\r\n");

            // Ctrl+C in the list with nothing selected: every row. C alone copies nothing.
            Select(list, 0, false);
            Select(list, 2, false);
            EmptyTheClipboard();
            ::SendMessageW(list, WM_KEYDOWN, 'C', 0);
            EXPECT_EQ(UnicodeClipboard(), "<none>");
            HoldKeys({VK_CONTROL});
            ::SendMessageW(list, WM_KEYDOWN, 'C', 0);
            ReleaseKeys();
            const std::string all = UnicodeClipboard();
            EXPECT_NE(all.find("\t10.0.0.1\t"), std::string::npos) << all;
            EXPECT_NE(all.find("\t10.0.0.2\t"), std::string::npos) << all;
            EXPECT_NE(all.find("\t10.0.0.3\t"), std::string::npos) << all;
            EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 4);
        },
        table.get());
    EXPECT_EQ(shownCount, 1);
    EXPECT_TRUE(Win32MessageBox::Recorded().empty());
}

TEST_F(HistoryWindowTest, ExportWritesTheCsvOrSaysWhyItCouldNot)
{
    Prepare();
    const std::filesystem::path csv = folder / "export.csv";
    const std::filesystem::path nowhere = folder / "missing" / "export.csv";
    WithHistory(
        [&](HistoryWindow& history) {
            history.chooseExportPath = [] { return std::string(); }; // Cancel
            Click(history.Window(), IDC_HISTORY_EXPORT);
            EXPECT_FALSE(std::filesystem::exists(csv));

            history.chooseExportPath = [&] { return csv.string(); };
            Click(history.Window(), IDC_HISTORY_EXPORT);
            const std::string written = ReadFile(csv);
            EXPECT_EQ(written, table->CsvText());
            EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 4) << written;
            // Every field, the digest included, newest first.
            EXPECT_LT(written.find(std::string(64, 'c')), written.find(std::string(64, 'a'))) << written;
            EXPECT_TRUE(Win32MessageBox::Recorded().empty());

            history.chooseExportPath = [&] { return nowhere.string(); };
            Click(history.Window(), IDC_HISTORY_EXPORT);
            ASSERT_EQ(Win32MessageBox::Recorded().size(), 1u);
            const std::string told = Win32MessageBox::Recorded()[0];
            EXPECT_EQ(told.find("The download history could not be exported.\n\n"), 0u) << told;
            EXPECT_NE(told.find(nowhere.string()), std::string::npos) << told;
            EXPECT_TRUE(::IsWindowVisible(history.Window())); // still there to try another place
        },
        table.get());
}

TEST_F(HistoryWindowTest, AnEmptyLogSaysSoAndOffersNothingToCopyOrExport)
{
    const std::string path = (folder / "downloads.jsonl").string();
    HistoryTable empty{DownloadLog(path)};
    std::string error;
    ASSERT_TRUE(empty.Load(&error)) << error;
    WithHistory(
        [&](HistoryWindow& history) {
            EXPECT_EQ(::SendMessageW(history.List(), LVM_GETITEMCOUNT, 0, 0), 0);
            EXPECT_EQ(WindowText(::GetDlgItem(history.Window(), IDC_HISTORY_HEADING)),
                      "No downloads are recorded in " + path + " yet.");
            EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(history.Window(), IDC_HISTORY_COPY)));
            EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(history.Window(), IDC_HISTORY_EXPORT)));
            // Esc closes it as Close does.
            ::SendMessageA(history.Window(), WM_COMMAND, IDCANCEL, 0);
        },
        &empty);
    EXPECT_EQ(shownCount, 1);
}

TEST_F(HistoryWindowTest, ARecordThatCannotBeWrittenCostsOneRedLineInTheResultsBox)
{
    // Another program holds the user's log past the writer's wait, as a stuck
    // holder of a shared log would: the record is given up.
    const std::string logPath = window->Behaviour().Recorder().LogPath();
    ASSERT_TRUE(UserFolders::MakeFolder(std::filesystem::path(logPath).parent_path().string()));
    LogLock held;
    std::string error;
    ASSERT_TRUE(held.Acquire(DownloadLog(logPath).LockPath(), LogLock::Mode::Exclusive,
                             std::chrono::milliseconds(1000), error))
        << error;
    DownloadRecorder& downloads = window->Behaviour().Recorder().Downloads();
    downloads.BeginEthernet({"C:\\images\\app.bff", 4096, false}, "127.0.0.1", 69);
    downloads.End("Download is finished.", false);

    // The writer's thread posts to the window; its procedure hands the news to the behaviour.
    const ConsoleHistory& results = window->Results()->History();
    auto told = [&] { return results.Text({0, 0}, results.End()).find("The download was not recorded: "); };
    ASSERT_TRUE(PumpUntil([&] { return told() != std::string::npos; },
                          static_cast<int>(DownloadLog::LockWait.count()) + 10000));
    held.Release();
    window->Behaviour().Recorder().WaitUntilWritten();
    PumpPending();
    const std::string text = results.Text({0, 0}, results.End());
    EXPECT_EQ(text.find("not recorded", told() + std::string("The download was not recorded").size()),
              std::string::npos)
        << text; // once
    bool red = false;
    for (size_t row = 0; row < results.RowCount(); ++row)
        for (const auto& run : results.RowRuns(row))
            red = red || (run.coloured && run.colour == 0x0000FF && run.text.find("not recorded") != std::string::npos);
    EXPECT_TRUE(red) << text;
    EXPECT_TRUE(Win32MessageBox::Recorded().empty()); // no box in the operator's way
}

} // namespace
