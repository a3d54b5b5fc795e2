#include "MachineIdentity.h"

#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

std::string MachineIdentity::HostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}

std::string MachineIdentity::UserName()
{
    // The account the process runs as, not what the environment claims.
    passwd entry {};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return found->pw_name;
    const char* user = std::getenv("USER");
    return user != nullptr ? user : std::to_string(::geteuid());
}
