#pragma once

#include <string>

// Which computer and which account a download came from, as a record names them.
class MachineIdentity {
public:
    static std::string HostName();
    static std::string UserName();
};
