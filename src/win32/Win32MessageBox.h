#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Every message box of the program goes through here: MessageBoxA with the
// program's title, or, while a test records, a line in the record and no
// window at all (a modal box would stop a test that drives the dialogs).
class Win32MessageBox {
public:
    static constexpr const char* Title = "Vennix";

    // flags as MessageBoxA takes them; MB_OK when none are given.
    static int Show(HWND owner, const std::string& text, UINT flags = MB_OK);

    static void StartRecording();
    static void StopRecording();
    static const std::vector<std::string>& Recorded();
    static void ClearRecord();
};
