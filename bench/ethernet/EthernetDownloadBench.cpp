// Sends a 4 MiB file to the simulated unit on loopback with several flash-write
// delays and prints what it took, beside a stock TFTP client and server
// (atftp to tftpd-hpa) moving the same file on the same machine.
//
// Usage: ethernet_bench [size-in-KiB [ack-delay-ms ...]]   (default 4096 KiB; 0, 1 and 5 ms)

#include "DownloadFile.h"
#include "EthernetDownloadJob.h"
#include "TftpServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The stock server's port: high, so no privileges and no clash with a system tftpd.
constexpr uint16_t StockServerPort = 16969;
// A stock server takes a moment to bind after it is started.
constexpr auto StockServerStartup = 300ms;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Notes when the data phase begins and ends, and the worker's CPU time, which
// it reads on the worker thread itself.
class TimingReporter : public DownloadReporter {
public:
    void SetProgress(int) override {}
    bool IsCancelled() override { return false; }
    void ShowStatus(const std::string& text) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (text == "Start downloading...")
            dataStart = Clock::now();
        last = text;
    }
    void Finish() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        end = Clock::now();
        workerCpu = ThreadCpuSeconds();
        finished = true;
        done.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [this] { return finished; });
    }

    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    Clock::time_point dataStart, end;
    double workerCpu = 0;
    std::string last;
};

bool Installed(const char* program)
{
    return std::system((std::string("command -v ") + program + " > /dev/null 2>&1").c_str()) == 0;
}

pid_t Spawn(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // Their chatter would break up the figures.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int result = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

void RunVennix(const std::string& path, int64_t size, int ackDelayMs)
{
    TftpServerOptions options;
    options.port = 0;
    options.ackDelayMs = ackDelayMs;
    TftpServer unit(options);
    std::string error;
    if (!unit.Start(&error)) {
        std::printf("simulator did not start: %s\n", error.c_str());
        return;
    }
    TimingReporter reporter;
    EthernetDownloadJob job(path, Application, "127.0.0.1", reporter, unit.BoundPort());
    const auto start = Clock::now();
    if (!job.Start()) {
        std::printf("download did not start\n");
        return;
    }
    reporter.Wait();
    while (job.IsRunning())
        std::this_thread::sleep_for(1ms);

    const auto stats = unit.Stats();
    const double blocks = static_cast<double>(stats.blocksStored);
    // The 200 ms pause before the first block is the design's, not the transfer's.
    const double dataPhase = Seconds(reporter.end - reporter.dataStart) - 0.2;
    const double bound = blocks * ackDelayMs / 1000.0;
    char versusBound[64] = "no bound";
    if (bound > 0)
        std::snprintf(versusBound, sizeof versusBound, "bound %.3f s, %.2fx", bound, dataPhase / bound);
    std::printf("vennix client -> simulator, ack delay %d ms: total %.3f s, data phase %.3f s (%s), "
                "%.0f KiB/s, %.2f DATA packets per block, worker CPU %.3f s, \"%s\"\n",
                ackDelayMs, Seconds(reporter.end - start), dataPhase, versusBound,
                static_cast<double>(size) / 1024.0 / dataPhase,
                blocks > 0 ? static_cast<double>(stats.dataPackets) / blocks : 0.0, reporter.workerCpu,
                reporter.last.c_str());
}

void RunStock(const std::string& path, int64_t size, const std::filesystem::path& folder)
{
    if (!Installed("atftp") || !Installed("in.tftpd")) {
        std::printf("atftp or in.tftpd (tftpd-hpa) not installed: skipping the stock comparison "
                    "(apt-get install -y atftp tftpd-hpa)\n");
        return;
    }
    const auto root = folder / "tftproot";
    std::filesystem::create_directories(root);
    // tftpd-hpa drops to its own user, which must be able to create the file.
    std::filesystem::permissions(root, std::filesystem::perms::all);
    const pid_t server = Spawn({"in.tftpd", "-L", "-c", "-s", root.string(), "-a",
                                "127.0.0.1:" + std::to_string(StockServerPort)});
    if (server < 0) {
        std::printf("in.tftpd did not start: skipping the stock comparison\n");
        return;
    }
    std::this_thread::sleep_for(StockServerStartup);

    const auto start = Clock::now();
    const pid_t client = Spawn({"atftp", "--option", "blksize 1024", "-p", "-l", path, "-r", "bench.bff",
                                "127.0.0.1", std::to_string(StockServerPort)});
    int status = 0;
    rusage usage{};
    const bool ran = client > 0 && wait4(client, &status, 0, &usage) == client;
    const double elapsed = Seconds(Clock::now() - start);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);

    std::error_code sizeError;
    const auto received = std::filesystem::file_size(root / "bench.bff", sizeError);
    if (!ran || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || sizeError ||
        received != static_cast<uintmax_t>(size)) {
        std::printf("atftp -> tftpd-hpa failed (exit %d, %ju of %lld bytes)\n", WEXITSTATUS(status),
                    sizeError ? uintmax_t{0} : received, static_cast<long long>(size));
        return;
    }
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("atftp (blksize 1024) -> tftpd-hpa, no delay: total %.3f s, %.0f KiB/s, client CPU %.3f s\n",
                elapsed, static_cast<double>(size) / 1024.0 / elapsed, cpu);
}

} // namespace

int main(int argc, char** argv)
{
    const int64_t size = (argc > 1 ? std::atoll(argv[1]) : 4096) * 1024;
    char pattern[] = "/tmp/vennix-ethbench-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = pattern;
    const std::string path = (folder / "bench.bff").string();
    {
        std::vector<char> bytes(static_cast<size_t>(size));
        uint32_t x = 1;
        for (auto& b : bytes)
            b = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("file: %lld bytes, %lld blocks of 1024\n", static_cast<long long>(size),
                static_cast<long long>((size + 1023) / 1024));
    std::vector<int> delays = {0, 1, 5};
    if (argc > 2)
        delays.clear();
    for (int i = 2; i < argc; ++i)
        delays.push_back(std::atoi(argv[i]));
    for (int delay : delays)
        RunVennix(path, size, delay);
    std::fflush(stdout);
    RunStock(path, size, folder);

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
