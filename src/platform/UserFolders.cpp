#include "UserFolders.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

namespace {

std::string FromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    return (value != nullptr && value[0] == '/') ? std::string(value) : std::string();
}

} // namespace

std::string UserFolders::SettingsFolder()
{
    std::string base = FromEnvironment("XDG_CONFIG_HOME");
    if (base.empty()) {
        std::string home = FromEnvironment("HOME");
        base = (home.empty() ? std::string("/tmp") : home) + "/.config";
    }
    return base + "/Tavrix Corporation";
}

std::string UserFolders::DataFolder()
{
    std::string base = FromEnvironment("XDG_DATA_HOME");
    if (base.empty()) {
        std::string home = FromEnvironment("HOME");
        base = (home.empty() ? std::string("/tmp") : home) + "/.local/share";
    }
    return base + "/Vennix";
}

std::string UserFolders::ComAliasFolder()
{
    return SettingsFolder() + "/ports";
}

std::string UserFolders::RuntimeFolder()
{
    std::string runtime = FromEnvironment("XDG_RUNTIME_DIR");
    if (!runtime.empty())
        return runtime;
    // sudo, services and cron jobs have no runtime folder; the shared /tmp is no
    // place for a per-user lock.
    return SettingsFolder();
}

bool UserFolders::MakeFolder(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode);
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolder(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}
