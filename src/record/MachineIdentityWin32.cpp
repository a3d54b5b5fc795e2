#include "MachineIdentity.h"

#include <windows.h>

std::string MachineIdentity::HostName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size))
        return std::string();
    return std::string(name, size);
}

std::string MachineIdentity::UserName()
{
    // 256 is UNLEN, the longest user name Windows allows.
    char name[256 + 1] = {};
    DWORD size = sizeof name;
    if (!::GetUserNameA(name, &size))
        return std::string();
    return name;
}
