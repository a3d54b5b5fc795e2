#include "UserFolders.h"

#include <windows.h>
#include <shlobj.h>

namespace {

// The user's roaming or local application-data folder; the process's current
// folder should the shell know none (a service account without a profile).
std::string ShellFolder(int folderId)
{
    char path[MAX_PATH] = {};
    if (::SHGetFolderPathA(nullptr, folderId | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return ".";
    return path;
}

} // namespace

std::string UserFolders::SettingsFolder()
{
    return ShellFolder(CSIDL_APPDATA) + "\\Tavrix Corporation";
}

std::string UserFolders::DataFolder()
{
    return ShellFolder(CSIDL_LOCAL_APPDATA) + "\\Vennix";
}

std::string UserFolders::ComAliasFolder()
{
    return SettingsFolder() + "\\ports";
}

std::string UserFolders::RuntimeFolder()
{
    return ShellFolder(CSIDL_LOCAL_APPDATA) + "\\Tavrix Corporation";
}

bool UserFolders::MakeFolder(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const size_t separator = path.find_last_of("\\/");
    // Stop at a drive ("C:") or the root; those exist or nothing can be made.
    if (separator != std::string::npos && separator > 2 && !MakeFolder(path.substr(0, separator)))
        return false;
    return ::CreateDirectoryA(path.c_str(), nullptr) != 0 || ::GetLastError() == ERROR_ALREADY_EXISTS;
}
