// Times a firmware download to the terminal simulator on a line paced like a
// real UART at 115200 bit/s, once through a local pseudo-terminal and once
// through Debian's ser2net (RFC 2217 on loopback), plain and behind a proxy
// that delays each way by 20 ms, against the line-rate bound.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DelayingProxy.h"
#include "DownloadReporter.h"
#include "Ser2netServer.h"
#include "SerialDownloadJob.h"
#include "SerialPort.h"
#include "TerminalSimulator.h"
#include "UserFolders.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t Rate = 115200;
constexpr size_t FileSize = 256 * 1024;
constexpr size_t FrameOverhead = 12; // "S,", length, complement, CRC
constexpr int NetworkCom = 70;
constexpr auto RunDeadline = std::chrono::seconds(90);

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
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
        std::lock_guard<std::mutex> lock(mutex);
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
    Clock::time_point finishedAt;
    bool finished = false;
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

enum class Route { LocalPty, Ser2net, Ser2netDelayed };

const char* RouteName(Route route)
{
    switch (route) {
    case Route::LocalPty: return "local pseudo-terminal";
    case Route::Ser2net: return "ser2net (RFC 2217, loopback)";
    case Route::Ser2netDelayed: return "ser2net behind a 20 ms-each-way proxy";
    }
    return "";
}

void Run(Route route, const std::vector<uint8_t>& file, double bound)
{
    Folder folder;
    const std::string path = (folder.path / "bench.bin").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                 static_cast<std::streamsize>(file.size()));
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Apploader;
    options.firmwareVersion = "1.50";
    options.flowControlReply = 0x80;
    options.paceLine = true;
    TerminalSimulator terminal(options);
    std::string error;
    if (!terminal.Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        std::exit(1);
    }

    Ser2netServer server;
    DelayingProxy proxy;
    int number = terminal.ComNumber();
    if (route != Route::LocalPty) {
        if (!server.Start(terminal.SlavePath(), folder.path, &error)) {
            std::fprintf(stderr, "ser2net: %s\n", error.c_str());
            std::exit(1);
        }
        uint16_t front = server.Port();
        if (route == Route::Ser2netDelayed) {
            if (!proxy.Start(front, std::chrono::milliseconds(20), &error)) {
                std::fprintf(stderr, "proxy: %s\n", error.c_str());
                std::exit(1);
            }
            front = proxy.Port();
        }
        std::filesystem::create_symlink("rfc2217://127.0.0.1:" + std::to_string(front),
                                        std::filesystem::path(UserFolders::ComAliasFolder()) /
                                            ("COM" + std::to_string(NetworkCom)));
        number = NetworkCom;
    }

    auto port = std::make_shared<SerialPort>();
    if (!port->OpenByNumber(number, Rate, 0, NoParity, OneStopBit, 8, FlowControl::None)) {
        std::fprintf(stderr, "cannot open COM%d: %s\n", number, port->LastOpenDetail().c_str());
        std::exit(1);
    }
    TimingReporter reporter;
    SerialDownloadJob job(path, Firmware, port, &reporter);
    const Clock::time_point start = Clock::now();
    job.Start();
    const Clock::time_point deadline = start + RunDeadline;
    while (!reporter.Finished() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ReceivedImage image;
    terminal.WaitForImage(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()), &image);
    const double toImage = Seconds(Clock::now() - start);
    std::lock_guard<std::mutex> lock(reporter.mutex);
    const double toFinish = Seconds(reporter.finishedAt - start);
    std::printf("  %-40s Start to last byte on the line %6.2f s = %.3f x bound; Start to Finish %6.2f s; %s%s\n",
                RouteName(route), toImage, toImage / bound, toFinish, reporter.lastStatus.c_str(),
                image.accepted && image.bytes == file ? "" : " (image wrong!)");
    std::fflush(stdout);
    port->Close();
}

} // namespace

int main()
{
    if (!Ser2netServer::Installed()) {
        std::fprintf(stderr, "ser2net is not installed (scripts/install-deps.sh test)\n");
        return 1;
    }
    std::mt19937 generator(42);
    std::vector<uint8_t> file(FileSize);
    for (uint8_t& byte : file)
        byte = static_cast<uint8_t>(generator());
    // 10 bits a byte on an 8N1 line.
    const double bound = static_cast<double>(FileSize + FrameOverhead) * 10.0 / Rate;
    std::printf("256 KiB firmware to the apploader (1.50, no flow control) at %u bit/s, paced line; "
                "line-rate bound %.2f s\n",
                Rate, bound);
    for (Route route : {Route::LocalPty, Route::Ser2net, Route::Ser2netDelayed})
        Run(route, file, bound);
    return 0;
}
