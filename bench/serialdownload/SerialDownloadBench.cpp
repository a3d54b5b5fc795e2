// Times serial downloads to the terminal simulator on a line paced like a real
// UART, against the line-rate bound and against a raw copy of the same bytes, and
// measures the CPU time of the download worker and of the port's I/O thread.

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DownloadReporter.h"
#include "FirmwareFrame.h"
#include "FrameCrc16.h"
#include "SerialDownloadJob.h"
#include "SerialPort.h"
#include "TerminalSimulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for the slowest scenario (32 KiB at 9600 bit/s is about 34 s).
constexpr auto RunDeadline = std::chrono::seconds(90);

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

double ThreadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::set<int> TaskIds()
{
    std::set<int> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(std::atoi(entry.path().filename().c_str()));
    return ids;
}

// CPU time of another thread of this process: nanoseconds on the CPU from its
// scheduler statistics, else user plus system ticks.
double TaskCpuSeconds(int tid)
{
    const std::string base = "/proc/self/task/" + std::to_string(tid);
    std::ifstream schedstat(base + "/schedstat");
    unsigned long long onCpuNs = 0;
    if (schedstat >> onCpuNs)
        return static_cast<double>(onCpuNs) / 1e9;
    std::ifstream stat(base + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0.0;
    std::vector<std::string> fields;
    std::string field;
    for (size_t i = close + 2; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += text[i];
        }
    }
    // Fields from the state on: utime is the 12th, stime the 13th.
    if (fields.size() < 13)
        return 0.0;
    const double ticks = std::atof(fields[11].c_str()) + std::atof(fields[12].c_str());
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class TimingReporter : public DownloadReporter {
public:
    void SetProgress(int) override {}
    bool IsCancelled() override { return false; }
    void ShowStatus(const std::string& text) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        lastStatus = text;
    }
    void Finish() override
    {
        const double cpu = ThreadCpuSeconds();
        std::lock_guard<std::mutex> lock(mutex);
        workerCpu = cpu;
        finishedAt = Clock::now();
        finished = true;
    }
    bool Finished()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return finished;
    }

    std::mutex mutex;
    std::string lastStatus;
    double workerCpu = 0.0;
    Clock::time_point finishedAt;
    bool finished = false;
};

struct Scenario {
    const char* name;
    DownloadFileKind kind;
    size_t size;
    uint32_t rate;
};

struct Folder {
    Folder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vennix-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        path = pattern;
        std::filesystem::create_directories(path / "config");
        std::filesystem::create_directories(path / "run");
        setenv("XDG_CONFIG_HOME", (path / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (path / "run").c_str(), 1);
    }
    ~Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

TerminalOptions OptionsFor(const Scenario& scenario)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Apploader;
    options.apploaderRate = scenario.rate;
    options.firmwareVersion = "1.50";
    options.flowControlReply = 0x80;
    options.paceLine = true;
    if (scenario.kind == Application)
        options.expectedImageSize = scenario.size;
    return options;
}

std::unique_ptr<TerminalSimulator> StartTerminal(const Scenario& scenario)
{
    auto terminal = std::make_unique<TerminalSimulator>(OptionsFor(scenario));
    std::string error;
    if (!terminal->Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        std::exit(1);
    }
    return terminal;
}

// Opens the port and finds its I/O thread: the one task that appeared meanwhile.
std::shared_ptr<SerialPort> OpenPort(const TerminalSimulator& terminal, uint32_t rate, int& ioTid)
{
    const std::set<int> before = TaskIds();
    auto port = std::make_shared<SerialPort>();
    if (!port->OpenByNumber(terminal.ComNumber(), rate, 0, NoParity, OneStopBit, 8, FlowControl::None)) {
        std::fprintf(stderr, "cannot open COM%d\n", terminal.ComNumber());
        std::exit(1);
    }
    ioTid = -1;
    for (int tid : TaskIds())
        if (before.count(tid) == 0)
            ioTid = tid;
    return port;
}

size_t ReceivedLineBytes(const TerminalSimulator& terminal)
{
    size_t total = 0;
    for (const TerminalEvent& event : terminal.Events())
        if (event.kind == TerminalEvent::Kind::Received)
            total += event.count;
    return total;
}

std::vector<uint8_t> WireBytes(const Scenario& scenario, const std::vector<uint8_t>& file)
{
    if (scenario.kind != Firmware)
        return file;
    std::vector<uint8_t> wire;
    const auto header = FirmwareFrame::Header(static_cast<uint32_t>(file.size()));
    wire.insert(wire.end(), header.begin(), header.end());
    wire.insert(wire.end(), file.begin(), file.end());
    FrameCrc16 crc;
    crc.Update(file.data(), file.size());
    const auto trailer = FirmwareFrame::Trailer(crc.Value());
    wire.insert(wire.end(), trailer.begin(), trailer.end());
    return wire;
}

void RunScenario(const Scenario& scenario)
{
    Folder folder;
    std::mt19937 generator(42);
    std::vector<uint8_t> file(scenario.size);
    for (uint8_t& byte : file)
        byte = static_cast<uint8_t>(generator());
    const std::string path = (folder.path / (scenario.kind == Firmware ? "bench.bin" : "bench.bff")).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                 static_cast<std::streamsize>(file.size()));
    const std::vector<uint8_t> wire = WireBytes(scenario, file);
    const double bound = static_cast<double>(wire.size()) * 10.0 / scenario.rate;

    // The download, from Start to Finish and to the last byte taken off the line.
    double download = 0.0, downloadToImage = 0.0, workerCpu = 0.0, ioCpu = 0.0;
    std::string status;
    {
        auto terminal = StartTerminal(scenario);
        int ioTid = -1;
        auto port = OpenPort(*terminal, scenario.rate, ioTid);
        const double ioBefore = ioTid > 0 ? TaskCpuSeconds(ioTid) : 0.0;
        TimingReporter reporter;
        SerialDownloadJob job(path, scenario.kind, port, &reporter);
        const Clock::time_point start = Clock::now();
        job.Start();
        const Clock::time_point deadline = start + RunDeadline;
        while (!reporter.Finished() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ReceivedImage image;
        terminal->WaitForImage(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()), &image);
        const Clock::time_point imageAt = Clock::now();
        std::lock_guard<std::mutex> lock(reporter.mutex);
        download = Seconds(reporter.finishedAt - start);
        downloadToImage = Seconds(imageAt - start);
        workerCpu = reporter.workerCpu;
        status = reporter.lastStatus + (image.bytes == file ? "" : " (image differs!)");
        ioCpu = ioTid > 0 ? TaskCpuSeconds(ioTid) - ioBefore : 0.0;
    }

    // A raw copy of the same wire bytes through a port to the same paced line.
    double raw = 0.0, rawIoCpu = 0.0;
    {
        auto terminal = StartTerminal(scenario);
        int ioTid = -1;
        auto port = OpenPort(*terminal, scenario.rate, ioTid);
        const double ioBefore = ioTid > 0 ? TaskCpuSeconds(ioTid) : 0.0;
        const Clock::time_point start = Clock::now();
        for (size_t offset = 0; offset < wire.size(); offset += 512) {
            const size_t n = std::min<size_t>(512, wire.size() - offset);
            port->Write(wire.data() + offset, static_cast<uint32_t>(n), false);
        }
        const Clock::time_point deadline = start + RunDeadline;
        while (ReceivedLineBytes(*terminal) < wire.size() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        raw = Seconds(Clock::now() - start);
        rawIoCpu = ioTid > 0 ? TaskCpuSeconds(ioTid) - ioBefore : 0.0;
    }

    const double mib = static_cast<double>(wire.size()) / (1024.0 * 1024.0);
    std::printf("%s: %zu wire bytes at %u bit/s; final status \"%s\"\n", scenario.name, wire.size(), scenario.rate,
                status.c_str());
    std::printf("  line-rate bound %.2f s, raw copy %.2f s (%.3f x bound)\n", bound, raw, raw / bound);
    std::printf("  download Start to Finish %.2f s: %.3f x bound, %.3f x raw copy\n", download, download / bound,
                download / raw);
    std::printf("  download Start to last byte received %.2f s: %.3f x bound, %.3f x raw copy\n", downloadToImage,
                downloadToImage / bound, downloadToImage / raw);
    std::printf("  CPU per MiB: worker %.1f ms, I/O thread %.1f ms (raw copy's I/O thread %.1f ms)\n",
                workerCpu * 1000.0 / mib, ioCpu * 1000.0 / mib, rawIoCpu * 1000.0 / mib);
    std::fflush(stdout);
}

} // namespace

int main()
{
    const Scenario scenarios[] = {
        {"256 KiB firmware", Firmware, 256 * 1024, 115200},
        {"256 KiB application", Application, 256 * 1024, 115200},
        {"32 KiB firmware", Firmware, 32 * 1024, 9600},
    };
    for (const Scenario& scenario : scenarios)
        RunScenario(scenario);
    return 0;
}
