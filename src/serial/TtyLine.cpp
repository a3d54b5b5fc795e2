#include "TtyLine.h"
#include "SerialLineSettings.h"

// The kernel's own termios definitions: termios2 carries any rate with BOTHER.
// They clash with <termios.h>, which is why nothing else lives in this file.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace {

constexpr int32_t kXonXoff = 1;
constexpr int32_t kRtsCts = 2;
constexpr int32_t kRtsCtsDsrDtr = 4;

// The characters that software flow control uses on the line.

bool SizeFlag(int byteSize, tcflag_t& flag)
{
    switch (byteSize) {
    case 5: flag = CS5; return true;
    case 6: flag = CS6; return true;
    case 7: flag = CS7; return true;
    case 8: flag = CS8; return true;
    default: return false;
    }
}

bool ParityFlags(int parity, tcflag_t& flags)
{
    switch (parity) {
    case 0: flags = 0; return true;
    case 1: flags = PARENB | PARODD; return true;
    case 2: flags = PARENB; return true;
    case 3: flags = PARENB | CMSPAR | PARODD; return true; // mark
    case 4: flags = PARENB | CMSPAR; return true;          // space
    default: return false;
    }
}

bool StopFlags(int stopBits, int byteSize, tcflag_t& flags)
{
    // A UART sends one and a half stop bits for CSTOPB with 5 data bits and two
    // otherwise, so each code is only possible with the matching byte size.
    switch (stopBits) {
    case 0: flags = 0; return true;
    case 1: flags = CSTOPB; return byteSize == 5;
    case 2: flags = CSTOPB; return byteSize != 5;
    default: return false;
    }
}

// Modem-line requests fail with ENOTTY or EINVAL on devices without modem
// lines (a pseudo-terminal, some USB adapters); such a device simply has no
// RTS or DTR to hold, which is no reason to refuse the port.
bool SetModemLine(int fd, int line, bool on)
{
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return true;
    return errno == ENOTTY || errno == EINVAL;
}

} // namespace

TtyLine::Result TtyLine::Apply(int fd, const SerialLineSettings& settings)
{
    if (settings.baudRate == 0)
        return Result::BadRate; // B0 would mean "hang up", never a line rate

    tcflag_t sizeFlag = 0;
    tcflag_t parityFlags = 0;
    tcflag_t stopFlags = 0;
    if (!SizeFlag(settings.byteSize, sizeFlag) || !ParityFlags(settings.parity, parityFlags)
        || !StopFlags(settings.stopBits, settings.byteSize, stopFlags))
        return Result::BadFormat;

    termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return Result::DeviceError;

    // Raw binary line. Bytes with a parity error are delivered as received
    // (no INPCK): nothing downstream looks at line errors.
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON
                     | IXOFF | IXANY | IMAXBEL | INPCK | IGNPAR);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= sizeFlag | parityFlags | stopFlags | CREAD | CLOCAL | BOTHER;
    // Input rate 0 in CIBAUD means "same as the output rate".
    tio.c_ospeed = settings.baudRate;
    tio.c_ispeed = settings.baudRate;

    // A read takes what is there and never waits; the I/O thread waits in poll.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = XonByte;
    tio.c_cc[VSTOP] = XoffByte;

    const bool handshake = settings.flow == kRtsCts || settings.flow == kRtsCtsDsrDtr;
    if (settings.flow == kXonXoff)
        tio.c_iflag |= IXON | IXOFF;
    if (handshake)
        tio.c_cflag |= CRTSCTS;
    // DSR cannot pace output on this platform: the DSR types only hold DTR on.

    // Never read the settings back to check them: a pseudo-terminal forces CS8
    // and drops parity, yet it is a perfectly usable line.
    if (ioctl(fd, TCSETS2, &tio) != 0)
        return errno == EINVAL ? Result::BadRate : Result::DeviceError;

    // With the handshake on, the driver raises and drops RTS itself.
    if (!handshake && !SetModemLine(fd, TIOCM_RTS, true))
        return Result::DeviceError;
    if (!SetModemLine(fd, TIOCM_DTR, settings.dtrOn))
        return Result::DeviceError;
    return Result::Ok;
}
