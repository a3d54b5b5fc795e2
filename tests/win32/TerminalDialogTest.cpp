// The dialogs against the native terminal simulator, mapped into the wine
// prefix as COM ports by scripts/test-windows.sh, which names them in
// VENNIX_TEST_PORTS ("boot=COM44,app=COM45,..."). Without it (a plain run of
// this program) the cases that need a terminal are skipped.

#include "BootloaderDialogWindow.h"
#include "SerialPort.h"
#include "Win32MessageBox.h"
#include "Win32TestWindows.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace Win32TestWindows;

namespace {

#define NEED_PORT(name, role)                                                                                    \
    const std::string name = Named("VENNIX_TEST_PORTS", role);                                                                      \
    if (name.empty())                                                                                            \
        GTEST_SKIP() << "needs the terminal simulator as a COM port (scripts/test-windows.sh)";

bool Holds(const std::string& bytes, const std::string& pattern)
{
    return bytes.find(pattern) != std::string::npos;
}

class BootloaderDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = MakeHost(300, 200);
        Win32MessageBox::StartRecording();
    }
    void TearDown() override
    {
        Win32MessageBox::StopRecording();
        ::DestroyWindow(host);
        PumpPending();
    }
    INT_PTR Run(const std::string& port)
    {
        BootloaderDialogWindow dialog(port, [this](const uint8_t* bytes, int count) {
            shown.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        });
        return dialog.Run(Instance(), host);
    }

    HWND host = nullptr;
    std::string shown;
};

TEST_F(BootloaderDialogTest, APortThatCannotBeOpenedEndsItBeforeItShows)
{
    EXPECT_EQ(Run("COM219"), IDCANCEL);
    ASSERT_EQ(Win32MessageBox::Recorded().size(), 1u);
    EXPECT_EQ(Win32MessageBox::Recorded()[0], "Unable to open serial port!");
}

TEST_F(BootloaderDialogTest, ATerminalInItsBootloaderAnswersTheFirstProbe)
{
    NEED_PORT(port, "boot");
    EXPECT_EQ(Run(port), IDOK);
    EXPECT_TRUE(Holds(shown, "\xAA\x55"));
    EXPECT_FALSE(Holds(shown, "NOTICE"));
}

TEST_F(BootloaderDialogTest, AnApploaderIsResetIntoTheBootloader)
{
    NEED_PORT(port, "app");
    EXPECT_EQ(Run(port), IDOK);
    EXPECT_TRUE(Holds(shown, "\xFF\x99"));
    EXPECT_TRUE(Holds(shown, "\xAA\x55"));
}

TEST_F(BootloaderDialogTest, ASilentUnitIsInducedWhileItsPowerCycles)
{
    NEED_PORT(port, "induce");
    EXPECT_EQ(Run(port), IDOK);
    EXPECT_TRUE(Holds(shown, "NOTICE"));
    EXPECT_TRUE(Holds(shown, "Entering"));
}

// Presses the dialog's Cancel once it is up and has gone round a few times.
VOID CALLBACK PressCancel(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = ::FindWindowA(nullptr, "Entering Bootloader");
    if (!dialog)
        return;
    ::KillTimer(nullptr, timer);
    ::SendMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
}

TEST_F(BootloaderDialogTest, CancelEndsItAndReleasesThePort)
{
    NEED_PORT(port, "silent");
    UINT_PTR timer = ::SetTimer(nullptr, 0, 300, &PressCancel);
    EXPECT_EQ(Run(port), IDCANCEL);
    ::KillTimer(nullptr, timer);
    // The device is free again at once.
    SerialPort again;
    EXPECT_TRUE(again.Open("\\\\.\\" + port, 115200, 0, NoParity, OneStopBit, 8, FlowControl::None));
}

} // namespace
