#include "LogFile.h"

#include <windows.h>

namespace {

// Readers and writers of other processes may hold the files; rotation renames
// them underneath, so everything is opened sharing everything.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string Reason(const std::string& what, const std::string& path)
{
    char text[256] = {};
    const DWORD code = ::GetLastError();
    std::string message;
    if (::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                         sizeof text, nullptr) != 0)
        message = text;
    else
        message = "error " + std::to_string(code);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return what + " " + path + ": " + message;
}

bool WriteAll(HANDLE file, const char* data, size_t length)
{
    while (length > 0) {
        const DWORD piece = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!::WriteFile(file, data, piece, &written, nullptr) || written == 0)
            return false;
        data += written;
        length -= written;
    }
    return true;
}

} // namespace

bool LogFile::AppendLine(const std::string& path, const std::string& line, std::string& error)
{
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Reason("cannot open", path);
        return false;
    }
    LARGE_INTEGER before{};
    if (!::GetFileSizeEx(file, &before)) {
        error = Reason("cannot read the size of", path);
        ::CloseHandle(file);
        return false;
    }
    std::string text;
    if (before.QuadPart > 0) {
        LARGE_INTEGER at{};
        at.QuadPart = before.QuadPart - 1;
        char last = '\n';
        DWORD got = 0;
        if (::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::ReadFile(file, &last, 1, &got, nullptr) &&
            got == 1 && last != '\n')
            text.push_back('\n');
    }
    text += line;

    // The lock keeps other writers out: the end found here stays the end.
    bool written = ::SetFilePointerEx(file, before, nullptr, FILE_BEGIN) && WriteAll(file, text.data(), text.size()) &&
                   ::FlushFileBuffers(file);
    if (!written) {
        error = Reason("cannot write", path);
        if (::SetFilePointerEx(file, before, nullptr, FILE_BEGIN))
            ::SetEndOfFile(file);
        ::CloseHandle(file);
        return false;
    }
    ::CloseHandle(file);
    return true;
}

bool LogFile::ReadAll(const std::string& path, std::string& content, std::string& error)
{
    content.clear();
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return true;
        error = Reason("cannot open", path);
        return false;
    }
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            error = Reason("cannot read", path);
            ::CloseHandle(file);
            return false;
        }
        if (got == 0)
            break;
        content.append(buffer, got);
    }
    ::CloseHandle(file);
    return true;
}

int64_t LogFile::Size(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool LogFile::Rename(const std::string& from, const std::string& to)
{
    return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool LogFile::Remove(const std::string& path)
{
    return ::DeleteFileA(path.c_str()) != 0 || ::GetLastError() == ERROR_FILE_NOT_FOUND;
}
