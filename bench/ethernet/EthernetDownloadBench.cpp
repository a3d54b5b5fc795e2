// Sends a 4 MiB file to the simulator's unit model on loopback (one datagram at a
// time, each costing c ms, 8 receive buffers) and prints the time against what
// such a unit allows, the DATA packets per block and the worker's CPU time;
// then the same with 5% loss both ways, and a stock TFTP client and server
// (atftp to tftpd-hpa) moving the same file on the same machine.
//
// Usage: ethernet_bench [size-in-KiB [cost-ms ...]]   (default 4096 KiB; 0, 1, 2, 5 and 20 ms)
// bench/ethernet/run-bench.sh builds it, installs the stock tools and runs it.

#include "DownloadFile.h"
#include "EthernetDownloadJob.h"
#include "TftpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
// The unit model's receive buffers, as a small unit has.
constexpr int Queue = 8;
constexpr double LossPercent = 5;

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

struct Run {
    bool ok = false;
    double total = 0;     // from the start of the job to Finish
    double dataPhase = 0; // from "Start downloading..." to Finish, the 200 ms pause included
    double dataPerBlock = 0;
    double workerCpu = 0; // seconds of the worker's own CPU time
    uint64_t queueDrops = 0;
};

Run RunVennix(const std::string& path, uint64_t digest, double costMs, int queue, double lossPercent)
{
    TftpServerOptions options;
    options.port = 0;
    options.datagramCostMs = costMs;
    options.receiveQueue = queue;
    options.lossPercent = lossPercent;
    options.seed = 5;
    options.keepBytes = false;
    TftpServer unit(options);
    std::string error;
    Run run;
    if (!unit.Start(&error)) {
        std::printf("simulator did not start: %s\n", error.c_str());
        return run;
    }
    TimingReporter reporter;
    EthernetDownloadJob job(path, Application, "127.0.0.1", reporter, unit.BoundPort());
    const auto start = Clock::now();
    if (!job.Start()) {
        std::printf("download did not start\n");
        return run;
    }
    reporter.Wait();
    while (job.IsRunning())
        std::this_thread::sleep_for(1ms);
    // A file that ends on a full block is on record once the unit's idle end has passed.
    for (int i = 0; i < 3000 && unit.ReceivedFiles().empty(); ++i)
        std::this_thread::sleep_for(1ms);

    const auto stats = unit.Stats();
    const auto files = unit.ReceivedFiles();
    run.ok = reporter.last == "Download is finished." && files.size() == 1 && files[0].digest == digest;
    run.total = Seconds(reporter.end - start);
    run.dataPhase = Seconds(reporter.end - reporter.dataStart);
    run.dataPerBlock = stats.blocksStored > 0
                           ? static_cast<double>(stats.dataArrived) / static_cast<double>(stats.blocksStored)
                           : 0.0;
    run.workerCpu = reporter.workerCpu;
    run.queueDrops = stats.queueDrops;
    if (!run.ok)
        std::printf("transfer at %g ms failed: \"%s\"\n", costMs, reporter.last.c_str());
    return run;
}

// The round trip of one block against the unit model without a cost: a plain
// stop-and-wait exchange that waits in poll, the least any client can do.
double MeasureRoundTrip(int blocks)
{
    TftpServerOptions options;
    options.port = 0;
    options.receiveQueue = Queue;
    options.keepBytes = false;
    TftpServer unit(options);
    if (!unit.Start(nullptr))
        return 0;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(unit.BoundPort());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto exchange = [&](const std::vector<uint8_t>& packet) {
        sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        pollfd entry{fd, POLLIN, 0};
        uint8_t reply[100];
        return poll(&entry, 1, 1000) == 1 && recv(fd, reply, sizeof reply, 0) >= 4;
    };
    const std::vector<uint8_t> request = {0, 2, 'b', 'f', 'f', '.', 'b', 'f', 'f', 0, 'o', 'c', 't', 'e', 't', 0};
    std::vector<double> trips;
    if (exchange(request)) {
        std::vector<uint8_t> data(4 + 1024, 0x5A);
        data[0] = 0;
        data[1] = 3;
        for (int block = 1; block <= blocks; ++block) {
            data[2] = static_cast<uint8_t>(block >> 8);
            data[3] = static_cast<uint8_t>(block);
            const auto sent = Clock::now();
            if (!exchange(data))
                break;
            trips.push_back(Seconds(Clock::now() - sent));
        }
    }
    close(fd);
    if (trips.empty())
        return 0;
    std::sort(trips.begin(), trips.end());
    return trips[trips.size() / 2];
}

// Returns the stock client's time, or 0 when it could not be measured.
double RunStock(const std::string& path, int64_t size, const std::filesystem::path& folder)
{
    if (!Installed("atftp") || !Installed("in.tftpd")) {
        std::printf("atftp or in.tftpd (tftpd-hpa) not installed: skipping the stock comparison "
                    "(bench/ethernet/run-bench.sh installs them)\n");
        return 0;
    }
    const auto root = folder / "tftproot";
    std::filesystem::create_directories(root);
    // tftpd-hpa drops to its own user, which must be able to create the file.
    std::filesystem::permissions(root, std::filesystem::perms::all);
    const pid_t server = Spawn({"in.tftpd", "-L", "-c", "-s", root.string(), "-a",
                                "127.0.0.1:" + std::to_string(StockServerPort)});
    if (server < 0) {
        std::printf("in.tftpd did not start: skipping the stock comparison\n");
        return 0;
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
        return 0;
    }
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("atftp (blksize 1024) -> tftpd-hpa on loopback: %.3f s, %.0f KiB/s, client CPU %.3f s\n", elapsed,
                static_cast<double>(size) / 1024.0 / elapsed, cpu);
    return elapsed;
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
    uint64_t digest = TftpDigestStart;
    {
        std::vector<uint8_t> bytes(static_cast<size_t>(size));
        uint32_t x = 1;
        for (auto& b : bytes)
            b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
        digest = TftpDigest(bytes.data(), bytes.size());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int64_t blocks = (size + 1023) / 1024;
    std::vector<double> costs = {0, 1, 2, 5, 20};
    if (argc > 2)
        costs.clear();
    for (int i = 2; i < argc; ++i)
        costs.push_back(std::atof(argv[i]));

    // The lowest of a few medians: on a shared machine one probe may meet a
    // busy core, and a bound should be the least a unit allows.
    double roundTrip = MeasureRoundTrip(2000);
    for (int i = 0; i < 4; ++i)
        roundTrip = std::min(roundTrip, MeasureRoundTrip(2000));
    std::printf("file: %lld bytes, %lld blocks of 1024; unit model with %d receive buffers; "
                "round trip without cost %.1f us (lowest median of five probes)\n\n",
                static_cast<long long>(size), static_cast<long long>(blocks), Queue, roundTrip * 1e6);
    // The bound: every block costs the unit c or a round trip, whichever is
    // longer, and the design pauses 200 ms before the first block.
    std::printf("| cost c | time | bound | time / bound | DATA per block | worker CPU | drops | image |\n"
                "|---|---|---|---|---|---|---|---|\n");
    std::vector<Run> lossless;
    for (double c : costs) {
        const Run run = RunVennix(path, digest, c, Queue, 0);
        lossless.push_back(run);
        const double bound = static_cast<double>(blocks) * std::max(c / 1000.0, roundTrip) + 0.2;
        std::printf("| %g ms | %.3f s | %.3f s | %.3f | %.3f | %.1f%% | %llu | %s |\n", c, run.dataPhase, bound,
                    run.dataPhase / bound, run.dataPerBlock, 100.0 * run.workerCpu / run.dataPhase,
                    static_cast<unsigned long long>(run.queueDrops), run.ok ? "identical" : "WRONG");
    }

    std::printf("\nWith %.0f%% loss both ways:\n\n| cost c | time | lossless | ratio | DATA per block | image |\n"
                "|---|---|---|---|---|---|\n",
                LossPercent);
    for (size_t i = 0; i < costs.size(); ++i) {
        // The slowest unit's run would take minutes more and add nothing.
        if (costs[i] > 5)
            continue;
        const Run run = RunVennix(path, digest, costs[i], Queue, LossPercent);
        std::printf("| %g ms | %.3f s | %.3f s | %.3f | %.3f | %s |\n", costs[i], run.dataPhase,
                    lossless[i].dataPhase, run.dataPhase / lossless[i].dataPhase, run.dataPerBlock,
                    run.ok ? "identical" : "WRONG");
    }

    std::printf("\n");
    const double stock = RunStock(path, size, folder);
    for (size_t i = 0; i < costs.size(); ++i) {
        if (costs[i] != 0 || stock <= 0)
            continue;
        std::printf("vennix at c = 0: %.3f s from the job's start (%.3f s without the designed 200 ms pause); "
                    "over atftp: %.2f (%.2f without the pause)\n",
                    lossless[i].total, lossless[i].total - 0.2, lossless[i].total / stock,
                    (lossless[i].total - 0.2) / stock);
    }

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
