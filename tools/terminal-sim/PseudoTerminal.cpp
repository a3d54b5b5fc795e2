#include "PseudoTerminal.h"

// termios2 gives the plain rate for any value; it lives in the kernel's header,
// which must not meet the C library's <termios.h> in one file.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr uint32_t InitialRate = 115200;

std::string Reason(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

PseudoTerminal::~PseudoTerminal()
{
    Close();
}

bool PseudoTerminal::Open(std::string* error)
{
    Close();
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0) {
        if (error)
            *error = Reason("cannot create a pseudo-terminal");
        return false;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        if (error)
            *error = Reason("cannot unlock the pseudo-terminal");
        Close();
        return false;
    }
    slavePath = name;

    // Mode calls on the master act on the slave's settings: this is the line's
    // starting state, raw so that every byte passes unchanged.
    struct termios2 line;
    if (ioctl(master, TCGETS2, &line) != 0) {
        if (error)
            *error = Reason("cannot read the pseudo-terminal's settings");
        Close();
        return false;
    }
    line.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    line.c_oflag &= ~OPOST;
    line.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    line.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CBAUD | CIBAUD);
    line.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    line.c_ispeed = InitialRate;
    line.c_ospeed = InitialRate;
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (ioctl(master, TCSETS2, &line) != 0) {
        if (error)
            *error = Reason("cannot make the pseudo-terminal raw");
        Close();
        return false;
    }

    // Opened before the alias is published, so Vennix's exclusive open comes
    // later and does not shut it out.
    ownSlave = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (ownSlave < 0) {
        if (error)
            *error = Reason(("cannot open " + slavePath).c_str());
        Close();
        return false;
    }
    return true;
}

void PseudoTerminal::Close()
{
    if (ownSlave >= 0)
        close(ownSlave);
    if (master >= 0)
        close(master);
    ownSlave = -1;
    master = -1;
}

bool PseudoTerminal::ReadLineSettings(LineSettings* settings) const
{
    struct termios2 line;
    if (ownSlave < 0 || ioctl(ownSlave, TCGETS2, &line) != 0)
        return false;
    settings->rate = line.c_ospeed;
    settings->twoStopBits = (line.c_cflag & CSTOPB) != 0;
    settings->xonXoff = (line.c_iflag & IXON) != 0;
    settings->xoffSent = (line.c_iflag & IXOFF) != 0;
    settings->rtsCts = (line.c_cflag & CRTSCTS) != 0;
    return true;
}
