#include "ComAlias.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Vennix formats the device name from the number into 31 characters, so the
// numbers stay in the range the port list shows.
constexpr int LastComNumber = 255;

bool MakeFolders(const std::string& folder)
{
    for (size_t slash = 1; slash <= folder.size(); ++slash) {
        if (slash != folder.size() && folder[slash] != '/')
            continue;
        std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info;
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

ComAlias::~ComAlias()
{
    Remove();
}

bool ComAlias::Publish(const std::string& folder, const std::string& linkTarget, int wanted, int firstAuto,
                       std::string* error)
{
    Remove();
    if (!MakeFolders(folder)) {
        if (error)
            *error = "cannot create the port alias folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    int first = wanted > 0 ? wanted : firstAuto;
    int last = wanted > 0 ? wanted : LastComNumber;
    for (int n = first; n <= last; ++n) {
        std::string candidate = folder + "/COM" + std::to_string(n);
        // symlink refuses an existing name, so two simulators never share one.
        if (symlink(linkTarget.c_str(), candidate.c_str()) == 0) {
            number = n;
            path = candidate;
            target = linkTarget;
            return true;
        }
        if (errno != EEXIST) {
            if (error)
                *error = "cannot create " + candidate + ": " + std::strerror(errno);
            return false;
        }
    }
    if (error) {
        *error = wanted > 0 ? "COM" + std::to_string(wanted) + " is already taken in " + folder
                            : "no free COM number left in " + folder;
    }
    return false;
}

void ComAlias::Remove()
{
    if (path.empty())
        return;
    char buffer[4096];
    ssize_t length = readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (length >= 0 && std::string(buffer, static_cast<size_t>(length)) == target)
        unlink(path.c_str());
    path.clear();
    target.clear();
    number = 0;
}

std::string ComAlias::Name() const
{
    return number > 0 ? "COM" + std::to_string(number) : std::string();
}
