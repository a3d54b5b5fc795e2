#include "SerialDevice.h"

#include "ComPortNames.h"
#include "SerialPort.h"
#include "TtyLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <strings.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// After the I/O thread has handed everything to the device, Close lets the
// device send what it still holds as long as the line keeps moving; when
// nothing has left for this long (a line held by flow control), the rest is
// dropped so that closing never hangs.
constexpr Milliseconds kKernelDrainStallLimit(2300);
constexpr Milliseconds kKernelDrainPollInterval(10);

SerialOpenError OpenErrorFrom(int error)
{
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return SerialOpenError::NoSuchDevice;
    case EBUSY:
    case EWOULDBLOCK:
        return SerialOpenError::InUse;
    case EACCES:
    case EPERM:
        return SerialOpenError::PermissionDenied;
    default:
        return SerialOpenError::Other;
    }
}

// The device path behind a port name. "\\.\COM12", "COM12" and the port list's
// "COM12 (ttyS11)" all name port 12; any other name must be a path.
std::string ResolveDevice(const std::string& name)
{
    const std::string devicePrefix = "\\\\.\\";
    std::string rest = name.rfind(devicePrefix, 0) == 0 ? name.substr(devicePrefix.size()) : name;
    if (rest.size() >= 3 && ::strncasecmp(rest.c_str(), "COM", 3) == 0)
        return ComPortNames::DevicePath(ComPortNames::ParseNumber(rest));
    if (!rest.empty() && rest[0] == '/')
        return rest;
    return std::string();
}

// A tty opened non-blocking: "read outstanding" is the I/O thread waiting in
// poll for POLLIN, "write outstanding" waiting for POLLOUT after the device
// refused more bytes; an eventfd is the wake event.
class SerialDevicePosix final : public SerialDevice {
public:
    SerialDevicePosix()
    {
        // Made once for the device's whole life, so that Wake from any thread
        // (AbortWrite, SetNotifications) never meets a descriptor that Open or
        // Close is replacing.
        wakeEvent = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }

    ~SerialDevicePosix() override
    {
        Close(Leftover::Ignore);
        if (wakeEvent >= 0)
            ::close(wakeEvent);
    }

    bool CanWake() const override { return wakeEvent >= 0; }

    SerialOpenError Open(const std::string& name, const SerialLineSettings& settings) override
    {
        stopRequested.store(false, std::memory_order_relaxed);
        const std::string path = ResolveDevice(name);
        if (path.empty())
            return SerialOpenError::NoSuchDevice;
        // Non-blocking so that neither the open (waiting for carrier) nor any
        // read or write can hold up a thread; the I/O thread waits in poll.
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return OpenErrorFrom(errno);
        SerialOpenError result = Configure(settings);
        if (result != SerialOpenError::None)
            Close(Leftover::Ignore);
        return result;
    }

    bool Apply(const SerialLineSettings& settings) override
    {
        return TtyLine::Apply(fd, settings) == TtyLine::Result::Ok;
    }

    void Close(Leftover leftover) override
    {
        if (fd < 0)
            return;
        // What is left cannot leave; without the flush close() itself would
        // wait for it. Only then: on a pseudo-terminal the flush would also
        // take what the far end has not read yet.
        if (leftover == Leftover::Drop || (leftover == Leftover::Drain && !DrainKernelOutput()))
            ::tcflush(fd, TCOFLUSH);
        // The exclusive flag belongs to the tty, not to our descriptor: while
        // anyone else (a terminal simulator, a getty) keeps the device open it
        // would outlive our close and refuse our own next open.
        if (exclusiveHeld)
            ::ioctl(fd, TIOCNXCL);
        exclusiveHeld = false;
        ::close(fd);
        fd = -1;
    }

    void Wake() override
    {
        const uint64_t one = 1;
        // A full counter (never in practice) already means "wake up".
        [[maybe_unused]] ssize_t written = ::write(wakeEvent, &one, sizeof one);
    }

    void RequestStop() override
    {
        stopRequested.store(true, std::memory_order_release);
        Wake();
    }

    bool BeginThread() override { return true; }
    void EndThread(bool, bool) override {}

    Io StartRead(uint8_t* into, uint32_t room, uint32_t& count) override
    {
        count = 0;
        const ssize_t got = ::read(fd, into, room);
        if (got > 0) {
            count = static_cast<uint32_t>(got);
            return Io::Done;
        }
        // With VMIN 0 a read of nothing is not the end of the line, only "no
        // bytes yet"; a hang-up shows in poll.
        if (got == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
            return Io::Pending;
        if (errno == EINTR)
            return Io::Done;
        return Io::Gone;
    }

    Io StartWrite(const uint8_t* from, uint32_t length, uint32_t& count) override
    {
        count = 0;
        const ssize_t sent = ::write(fd, from, length);
        if (sent > 0) {
            count = static_cast<uint32_t>(sent);
            return Io::Done;
        }
        // Nothing taken: wait until the device has room (flow control may hold it).
        if (sent == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
            return Io::Pending;
        if (errno == EINTR)
            return Io::Done;
        // A write the device refuses for any other reason is not retried: on a
        // tty that means the device has gone (EIO, ENODEV), and retrying would
        // leave the bytes, and every writer waiting for them, stuck for good.
        return Io::Gone;
    }

    Events Wait(bool readPending, bool writePending, bool usable, int timeoutMs) override
    {
        Events events;
        pollfd fds[2] = {};
        fds[0].fd = wakeEvent;
        fds[0].events = POLLIN;
        fds[1].fd = usable ? fd : -1;
        fds[1].events = static_cast<short>((readPending ? POLLIN : 0) | (writePending ? POLLOUT : 0));
        if (::poll(fds, 2, timeoutMs) <= 0)
            return events;
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] ssize_t got = ::read(wakeEvent, &count, sizeof count);
        }
        events.readDone = (fds[1].revents & POLLIN) != 0;
        events.writeDone = (fds[1].revents & POLLOUT) != 0;
        // A hang-up (device unplugged, far end closed) is reported here;
        // polling such a device again would return at once forever.
        events.gone = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        return events;
    }

    // A tty reports line errors in its byte stream or not at all.
    bool ClearErrors() override { return true; }

    void DropOutput(bool) override { ::tcflush(fd, TCOFLUSH); }

    bool StopRequested() override { return stopRequested.load(std::memory_order_acquire); }

private:
    SerialOpenError Configure(const SerialLineSettings& settings)
    {
        if (!::isatty(fd))
            return SerialOpenError::NoSuchDevice;
        // No sharing: TIOCEXCL keeps other openers out, except root, which only
        // the flock stops (it also covers programs that lock instead).
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return OpenErrorFrom(errno);
        if (::ioctl(fd, TIOCEXCL) != 0)
            return OpenErrorFrom(errno);
        exclusiveHeld = true;
        switch (TtyLine::Apply(fd, settings)) {
        case TtyLine::Result::Ok: return SerialOpenError::None;
        case TtyLine::Result::BadRate: return SerialOpenError::RateNotSupported;
        case TtyLine::Result::BadFormat: return SerialOpenError::Other;
        case TtyLine::Result::DeviceError: return OpenErrorFrom(errno);
        }
        return SerialOpenError::Other;
    }

    // True once the device holds nothing more; false when the line stalled.
    bool DrainKernelOutput()
    {
        int previous = -1;
        auto lastProgress = Clock::now();
        for (;;) {
            int queued = 0;
            if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0)
                return true;
            if (queued != previous) {
                previous = queued;
                lastProgress = Clock::now();
            } else if (Clock::now() - lastProgress > kKernelDrainStallLimit) {
                return false;
            }
            std::this_thread::sleep_for(kKernelDrainPollInterval);
        }
    }

    int fd = -1;
    int wakeEvent = -1;
    // We set TIOCEXCL on the open device and must clear it before closing.
    bool exclusiveHeld = false;
    std::atomic<bool> stopRequested{false};
};

} // namespace

std::unique_ptr<SerialDevice> SerialDevice::Create()
{
    return std::make_unique<SerialDevicePosix>();
}
