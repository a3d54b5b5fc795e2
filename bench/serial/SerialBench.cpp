// Figures for the serial port driver over a pseudo-terminal pair: throughput
// and CPU cost in both directions with escaping off and on, the CPU use of an
// idle open port, and the delay from a byte's arrival to its notification.
//
//   serial_bench [MiB per throughput run, default 2] [idle seconds, default 10]

#include "NotifyTarget.h"
#include "SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double ProcessCpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
        + usage.ru_stime.tv_usec / 1e6;
}

double ThreadCpuSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

class Pty {
public:
    Pty()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0
            || ::ptsname_r(master, name, sizeof name) != 0) {
            std::fprintf(stderr, "no pseudo-terminal\n");
            std::exit(1);
        }
        slave = name;
        termios tio {};
        ::tcgetattr(master, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(master, TCSANOW, &tio);
    }
    ~Pty() { ::close(master); }
    int master = -1;
    std::string slave;
};

class SignallingTarget : public NotifyTarget {
public:
    void Post(uint32_t) override
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            postedAt = Clock::now();
            ++posts;
        }
        changed.notify_all();
    }
    // Waits for the next post after `seen`; false on time-out.
    bool WaitBeyond(long seen, Clock::time_point& when)
    {
        std::unique_lock<std::mutex> guard(mutex);
        if (!changed.wait_for(guard, std::chrono::seconds(5), [&] { return posts > seen; }))
            return false;
        when = postedAt;
        return true;
    }
    long Posts()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return posts;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    long posts = 0;
    Clock::time_point postedAt;
};

Bytes RandomBytes(size_t count)
{
    std::mt19937 random(12345);
    Bytes bytes(count);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

Bytes Escaped(const Bytes& data)
{
    Bytes out;
    out.reserve(data.size() + data.size() / 64);
    for (uint8_t b : data) {
        if (b == 0x11 || b == 0x13 || b == 0xBF) {
            out.push_back(0xBF);
            out.push_back(b | 0x80);
        } else {
            out.push_back(b);
        }
    }
    return out;
}

bool OpenPort(SerialPort& port, const Pty& pty, FlowControl flow)
{
    if (port.Open(pty.slave, 115200, 0, NoParity, OneStopBit, 8, flow))
        return true;
    std::fprintf(stderr, "cannot open %s\n", pty.slave.c_str());
    return false;
}

void Report(const char* what, size_t payload, double seconds, double cpu)
{
    const double mib = payload / (1024.0 * 1024.0);
    std::printf("%-34s %10.0f bytes/s   %8.1f ms CPU per MiB\n", what, payload / seconds,
                cpu * 1000.0 / mib);
}

// Port -> far end: Write in 512-byte blocks, as a download does.
void Transmit(const Bytes& data, FlowControl flow, const char* what)
{
    Pty pty;
    SerialPort port;
    if (!OpenPort(port, pty, flow))
        return;
    const size_t expected = flow == FlowControl::XonXoff ? Escaped(data).size() : data.size();
    std::atomic<double> readerCpu { 0 };
    std::thread reader([&] {
        const double start = ThreadCpuSeconds();
        size_t got = 0;
        std::vector<uint8_t> buffer(65536);
        while (got < expected) {
            const ssize_t n = ::read(pty.master, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        readerCpu = ThreadCpuSeconds() - start;
    });
    const double cpuStart = ProcessCpuSeconds();
    const auto start = Clock::now();
    for (size_t done = 0; done < data.size(); done += 512) {
        const size_t block = std::min<size_t>(512, data.size() - done);
        port.Write(data.data() + done, static_cast<uint32_t>(block), false);
    }
    reader.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuStart - readerCpu;
    Report(what, data.size(), seconds, cpu);
}

// Far end -> port: the reader handles notifications as the main window does
// (re-arm, then read at most 1024 bytes without waiting).
void Receive(const Bytes& data, FlowControl flow, const char* what)
{
    Pty pty;
    SignallingTarget target;
    SerialPort port;
    if (!OpenPort(port, pty, flow))
        return;
    port.SetNotifyWindow(&target, NotifyReceived);
    const Bytes line = flow == FlowControl::XonXoff ? Escaped(data) : data;
    std::atomic<double> writerCpu { 0 };
    const double cpuStart = ProcessCpuSeconds();
    const auto start = Clock::now();
    std::thread writer([&] {
        const double begin = ThreadCpuSeconds();
        size_t done = 0;
        while (done < line.size()) {
            const ssize_t n = ::write(pty.master, line.data() + done, line.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        writerCpu = ThreadCpuSeconds() - begin;
    });
    size_t got = 0;
    long seen = 0;
    Clock::time_point when;
    uint8_t buffer[1024];
    while (got < data.size()) {
        if (!target.WaitBeyond(seen, when)) {
            std::fprintf(stderr, "%s: stalled at %zu bytes\n", what, got);
            break;
        }
        seen = target.Posts();
        port.SetNotifications(NotifyReceived, 1);
        got += static_cast<size_t>(port.Read(buffer, sizeof buffer, 0));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    const double cpu = ProcessCpuSeconds() - cpuStart - writerCpu;
    Report(what, data.size(), seconds, cpu);
}

void Idle(int seconds)
{
    Pty pty;
    SerialPort port;
    if (!OpenPort(port, pty, FlowControl::None))
        return;
    const double cpuStart = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = ProcessCpuSeconds() - cpuStart;
    std::printf("%-34s %10.3f ms CPU in %d s\n", "idle open port", cpu * 1000.0, seconds);
}

void Latency()
{
    Pty pty;
    SignallingTarget target;
    SerialPort port;
    if (!OpenPort(port, pty, FlowControl::None))
        return;
    port.SetNotifyWindow(&target, NotifyReceived);
    constexpr int kSamples = 1000;
    std::vector<double> micros;
    for (int i = 0; i < kSamples; ++i) {
        // Armed with an empty ring, so nothing is posted before the byte comes.
        port.SetNotifications(NotifyReceived, 1);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        const long seen = target.Posts();
        const uint8_t byte = static_cast<uint8_t>(i);
        const auto sentAt = Clock::now();
        if (::write(pty.master, &byte, 1) != 1)
            break;
        Clock::time_point postedAt;
        if (!target.WaitBeyond(seen, postedAt))
            break;
        micros.push_back(std::chrono::duration<double, std::micro>(postedAt - sentAt).count());
        uint8_t in = 0;
        while (port.Read(&in, 1, 0) == 0) // announced, so it is there
            ;
    }
    if (micros.empty())
        return;
    std::sort(micros.begin(), micros.end());
    std::printf("%-34s median %.0f us, 99th %.0f us, max %.0f us (%zu samples)\n",
                "arrival to WM_SERIAL_RECEIVED", micros[micros.size() / 2],
                micros[micros.size() * 99 / 100], micros.back(), micros.size());
}

} // namespace

int main(int argc, char** argv)
{
    const double mib = argc > 1 ? std::atof(argv[1]) : 2.0;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    const Bytes data = RandomBytes(static_cast<size_t>(mib * 1024 * 1024));

    Transmit(data, FlowControl::None, "transmit, escaping off");
    Transmit(data, FlowControl::XonXoff, "transmit, escaping on");
    Receive(data, FlowControl::None, "receive, escaping off");
    Receive(data, FlowControl::XonXoff, "receive, escaping on");
    Latency();
    Idle(idleSeconds);
    return 0;
}
