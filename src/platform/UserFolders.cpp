#include "UserFolders.h"

#include <cstdlib>

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

std::string UserFolders::ComAliasFolder()
{
    return SettingsFolder() + "/ports";
}

std::string UserFolders::RuntimeFolder()
{
    std::string runtime = FromEnvironment("XDG_RUNTIME_DIR");
    if (!runtime.empty())
        return runtime;
    std::string tmp = FromEnvironment("TMPDIR");
    return tmp.empty() ? std::string("/tmp") : tmp;
}
