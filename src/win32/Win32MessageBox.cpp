#include "Win32MessageBox.h"

namespace {

// Only the user-interface thread shows message boxes, so these need no lock.
bool recording = false;
std::vector<std::string> record;

} // namespace

int Win32MessageBox::Show(HWND owner, const std::string& text, UINT flags)
{
    if (recording) {
        record.push_back(text);
        return IDOK;
    }
    return ::MessageBoxA(owner, text.c_str(), Title, flags);
}

void Win32MessageBox::StartRecording()
{
    recording = true;
    record.clear();
}

void Win32MessageBox::StopRecording()
{
    recording = false;
}

const std::vector<std::string>& Win32MessageBox::Recorded()
{
    return record;
}

void Win32MessageBox::ClearRecord()
{
    record.clear();
}
