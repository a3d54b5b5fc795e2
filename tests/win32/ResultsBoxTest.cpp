// The results box as a real window under wine: what it draws, that the last
// line stays in view, selection by mouse and keyboard, Ctrl+C and Ctrl+A, the
// context menu and saving.

#include "ConsoleRendering.h"
#include "ResourceIds.h"
#include "ResultsBox.h"
#include "Win32MessageBox.h"
#include "Win32TestWindows.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

using namespace Win32TestWindows;

namespace {

class ResultsBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = MakeHost(420, 160);
        ASSERT_NE(host, nullptr);
        HWND window = ::CreateWindowExA(WS_EX_CLIENTEDGE, VENNIX_RESULTS_CLASS, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL |
                                        WS_HSCROLL | WS_TABSTOP, 0, 0, 420, 160, host,
                                        reinterpret_cast<HMENU>(IDC_RESULTS), Instance(), nullptr);
        ASSERT_NE(window, nullptr);
        ::SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), TRUE);
        box = ResultsBox::FromWindow(window);
        ASSERT_NE(box, nullptr);
        Win32MessageBox::StartRecording();
    }
    void TearDown() override
    {
        Win32MessageBox::StopRecording();
        ReleaseKeys();
        ::DestroyWindow(host);
        PumpPending();
    }
    void Append(const std::string& bytes, bool coloured = false, uint32_t colour = 0)
    {
        box->AppendBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), coloured, colour);
    }
    LPARAM At(ResultsBox::Position position)
    {
        POINT point = box->PointOf(position);
        return MAKELPARAM(point.x + 1, point.y);
    }
    void Key(WPARAM key) { ::SendMessageA(box->Window(), WM_KEYDOWN, key, 0); }

    // True when the cells from..to (one row) hold ink, and every pixel there
    // lies between colour and the window's background, channel by channel.
    // Two pixels are left at each side for smoothing from the neighbours.
    bool InkBetween(const std::vector<COLORREF>& pixels, int width, ResultsBox::Position from,
                    ResultsBox::Position to, COLORREF colour)
    {
        const COLORREF background = ::GetSysColor(COLOR_WINDOW);
        const POINT left = box->PointOf(from);
        const POINT right = box->PointOf(to);
        const int top = left.y - box->LineHeight() / 2;
        bool ink = false;
        for (int y = std::max(top, 0); y < top + box->LineHeight(); ++y) {
            for (int x = left.x + 2; x < right.x - 2; ++x) {
                const COLORREF pixel = pixels.at(static_cast<size_t>(y) * width + x);
                ink = ink || pixel != background;
                for (int shift : {0, 8, 16}) {
                    const int value = (pixel >> shift) & 0xFF;
                    const int low = std::min((colour >> shift) & 0xFF, (background >> shift) & 0xFF);
                    const int high = std::max((colour >> shift) & 0xFF, (background >> shift) & 0xFF);
                    if (value < low - 2 || value > high + 2)
                        return false;
                }
            }
        }
        return ink;
    }

    HWND host = nullptr;
    ResultsBox* box = nullptr;
};

TEST_F(ResultsBoxTest, DrawsTextTagsAndLabelsInTheirColours)
{
    Append("Hi\r\nA");
    Append(std::string("\x00", 1));
    Append("B\xAA\x55" "done\r\n");
    Append("Bootloader entered!\n", true, 0x0000FF);
    ASSERT_EQ(box->FirstVisibleRow(), 0u);

    const ConsoleHistory& history = box->History();
    EXPECT_EQ(history.RowText(0), "Hi");
    EXPECT_EQ(history.RowText(1), "A<00>B<In Bootloader>");
    EXPECT_EQ(history.RowText(2), "done");
    EXPECT_EQ(history.RowText(3), "Bootloader entered!");

    const COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT);
    const COLORREF tag = ConsoleRendering::TagColour(text, ::GetSysColor(COLOR_WINDOW));
    auto runs = history.RowRuns(1);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(box->ColourOf(runs[0]), text);
    EXPECT_EQ(box->ColourOf(runs[1]), tag);
    EXPECT_EQ(box->ColourOf(runs[3]), static_cast<COLORREF>(ConsoleRendering::LabelColour));
    EXPECT_EQ(box->ColourOf(history.RowRuns(3)[0]), static_cast<COLORREF>(0x0000FF));

    // And the pixels: each colour reaches the screen, on the window's background.
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels = Pixels(box->Window(), width, height);
    EXPECT_TRUE(HasPixel(pixels, ::GetSysColor(COLOR_WINDOW)));
    EXPECT_TRUE(HasPixel(pixels, text));
    // The tag's thin glyphs may be smoothed so that no pixel reaches its exact
    // colour (fonts differ between machines); its ink must lie between the tag
    // colour and the background, and never as dark as the text.
    EXPECT_TRUE(InkBetween(pixels, width, {1, 1}, {1, 5}, tag));
    EXPECT_TRUE(HasPixel(pixels, ConsoleRendering::LabelColour));
    EXPECT_TRUE(HasPixel(pixels, RGB(255, 0, 0)));

    box->Clear();
    pixels = Pixels(box->Window(), width, height);
    EXPECT_FALSE(HasPixel(pixels, text));
    EXPECT_EQ(history.RowCount(), 1u);
}

TEST_F(ResultsBoxTest, TheLastLineStaysInViewAsTrafficArrives)
{
    for (int line = 0; line < 300; ++line)
        Append("line " + std::to_string(line) + "\r\n");
    const size_t rows = box->History().RowCount();
    ASSERT_GT(rows, box->VisibleRows());
    EXPECT_EQ(box->FirstVisibleRow(), rows - box->VisibleRows());

    // The frame timer shows what arrived without anyone asking.
    Append("one more\r\n");
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_POS | SIF_RANGE | SIF_PAGE;
    ASSERT_TRUE(PumpUntil([&] {
        ::GetScrollInfo(box->Window(), SB_VERT, &info);
        return static_cast<size_t>(info.nMax) == box->History().RowCount() - 1;
    }));
    EXPECT_EQ(static_cast<size_t>(info.nPos), box->History().RowCount() - box->VisibleRows());

    // Scrolled back, the operator can read while more arrives below.
    ::SendMessageA(box->Window(), WM_VSCROLL, SB_TOP, 0);
    ::GetScrollInfo(box->Window(), SB_VERT, &info);
    EXPECT_EQ(info.nPos, 0);
}

TEST_F(ResultsBoxTest, SelectsWithTheMouseAndCopiesWithCtrlC)
{
    Append("first row\r\nsecond row\r\nthird\r\n");
    box->FirstVisibleRow();
    HWND window = box->Window();
    ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, At({0, 6}));
    ::SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, At({1, 6}));
    ::SendMessageA(window, WM_LBUTTONUP, 0, At({1, 6}));
    ASSERT_TRUE(box->HasSelection());
    EXPECT_EQ(box->SelectedText(), "row\r\nsecond");

    HoldKeys({VK_CONTROL});
    Key('C');
    EXPECT_EQ(ClipboardText(), "row\r\nsecond");

    // A double click takes the whole row.
    ReleaseKeys();
    ::SendMessageA(window, WM_LBUTTONDBLCLK, MK_LBUTTON, At({2, 1}));
    EXPECT_EQ(box->SelectedText(), "third");
}

TEST_F(ResultsBoxTest, SelectsWithTheKeyboardAndAllWithCtrlA)
{
    Append("abc\r\n\x01xyz");
    box->FirstVisibleRow();
    Key(VK_HOME);
    HoldKeys({VK_SHIFT});
    Key(VK_RIGHT);
    Key(VK_RIGHT);
    EXPECT_EQ(box->SelectedText(), "ab");
    Key(VK_DOWN);
    EXPECT_EQ(box->SelectedText(), "abc\r\n<0");
    Key(VK_END);
    EXPECT_EQ(box->SelectedText(), "abc\r\n<01>xyz");
    ReleaseKeys();
    Key(VK_LEFT); // without Shift the selection goes
    EXPECT_FALSE(box->HasSelection());

    HoldKeys({VK_CONTROL});
    Key('A');
    EXPECT_EQ(box->SelectedText(), "abc\r\n<01>xyz");
    // The box asks for the arrows and characters, so a dialog leaves them to it.
    EXPECT_EQ(::SendMessageA(box->Window(), WM_GETDLGCODE, 0, 0) & (DLGC_WANTARROWS | DLGC_WANTCHARS),
              DLGC_WANTARROWS | DLGC_WANTCHARS);
}

// Reads the open context menu's items and closes it, from inside its loop.
std::vector<std::string> menuItems;
std::vector<bool> menuEnabled;

VOID CALLBACK ReadMenuAndClose(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND popup = ::FindWindowA("#32768", nullptr);
    if (!popup)
        return;
    ::KillTimer(nullptr, timer);
    HMENU menu = reinterpret_cast<HMENU>(::SendMessageA(popup, MN_GETHMENU, 0, 0));
    for (int i = 0; menu && i < ::GetMenuItemCount(menu); ++i) {
        char text[64] = "";
        ::GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof(text), MF_BYPOSITION);
        menuItems.push_back(text);
        menuEnabled.push_back(!(::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED));
    }
    ::EndMenu();
}

TEST_F(ResultsBoxTest, TheContextMenuCopiesSelectsAllAndSavesResults)
{
    Append("data\r\n");
    menuItems.clear();
    menuEnabled.clear();
    UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &ReadMenuAndClose);
    RECT frame{};
    ::GetWindowRect(box->Window(), &frame);
    ::SendMessageA(box->Window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box->Window()),
                   MAKELPARAM(frame.left + 20, frame.top + 20));
    ::KillTimer(nullptr, timer);
    ASSERT_EQ(menuItems.size(), 4u);
    EXPECT_EQ(menuItems[0], "&Copy\tCtrl+C");
    EXPECT_FALSE(menuEnabled[0]); // nothing selected yet
    EXPECT_EQ(menuItems[1], "Select &All\tCtrl+A");
    EXPECT_EQ(menuItems[3], "Save results...");
}

std::string FileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST_F(ResultsBoxTest, SavesWhatItShowsAndSaysWhyWhenItCannot)
{
    Append("Hi\r\n\xFF\x99" "A\x7F");
    char folder[MAX_PATH];
    ::GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "vennix-results-" + std::to_string(::GetCurrentProcessId()) + ".txt";
    ASSERT_TRUE(box->SaveResults(path));
    EXPECT_EQ(FileText(path), "Hi\r\n<In Apploader>\r\nA<7F>");
    EXPECT_TRUE(Win32MessageBox::Recorded().empty());
    ::DeleteFileA(path.c_str());

    const std::string nowhere = std::string(folder) + "no-such-folder-vennix\\results.txt";
    EXPECT_FALSE(box->SaveResults(nowhere));
    ASSERT_EQ(Win32MessageBox::Recorded().size(), 1u);
    EXPECT_EQ(Win32MessageBox::Recorded()[0].rfind("Couldn't save the results to " + nowhere + ":\n", 0), 0u);
}

} // namespace
