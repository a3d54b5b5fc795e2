// Runs vennix-cli against eight simulated serial terminals on lines paced like
// real ones at 115200 and four simulated TFTP units, first each target alone,
// then all twelve from one run, and compares each target's time with its time
// alone. Also measures the CPU time of the whole vennix-cli process (the
// simulators run in this process and are not counted).

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "TerminalSimulator.h"
#include "TftpServer.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int SerialTerminals = 8;
constexpr int TftpUnits = 4;
constexpr size_t ImageSize = 32 * 1024; // about 3 s on a paced 115200 line
// What a unit takes to write a block to flash before it acknowledges it.
constexpr int UnitFlashWriteMs = 2;
constexpr int TogetherRuns = 3;
constexpr int SoloRuns = 2;

struct RunFigures {
    std::map<std::string, double> seconds; // per target, as vennix-cli measured it
    std::map<std::string, std::string> outcome;
    std::chrono::steady_clock::time_point started;
    double wallSeconds = 0;
    double cpuSeconds = 0; // user + system of the vennix-cli process
    int exitCode = -1;
};

RunFigures RunCli(const std::vector<std::string>& arguments, const fs::path& outputFile)
{
    std::vector<std::string> all{VENNIX_CLI_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    RunFigures figures;
    const auto start = std::chrono::steady_clock::now();
    figures.started = start;
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    figures.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    figures.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

    std::ifstream in(outputFile);
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        if (event.is_discarded() || event.value("event", "") != "result")
            continue;
        figures.seconds[event.value("target", "")] = event.value("seconds", 0.0);
        figures.outcome[event.value("target", "")] = event.value("outcome", "");
    }
    return figures;
}

// A serial target's time is until its terminal has the whole image: what the
// program reports is when the last byte was handed to the line, and a
// pseudo-terminal's buffer holds a few kilobytes more than a UART's.
void TimeSerialTargets(const std::vector<std::unique_ptr<TerminalSimulator>>& terminals, RunFigures& figures)
{
    for (const auto& terminal : terminals) {
        const std::string name = terminal->ComName();
        if (figures.seconds.count(name) == 0)
            continue;
        TerminalEvent received;
        const bool got = terminal->WaitForEvent(
            [](const TerminalEvent& event) { return event.kind == TerminalEvent::Kind::ImageReceived; },
            std::chrono::seconds(10), &received);
        figures.seconds[name] = got ? std::chrono::duration<double>(received.time - figures.started).count() : -1;
        terminal->ClearLog();
    }
}

} // namespace

int main()
{
    // Per-user folders of the benchmark's own, so its COM aliases touch nothing else.
    char pattern[] = "/tmp/vennix-cli-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    const fs::path root = pattern;
    fs::create_directories(root / "config");
    fs::create_directories(root / "run");
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);

    std::vector<uint8_t> image(ImageSize);
    std::mt19937 generator(13);
    for (uint8_t& byte : image)
        byte = static_cast<uint8_t>(generator());
    const fs::path file = root / "firmware.bin";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                 static_cast<std::streamsize>(image.size()));
    const fs::path output = root / "run.jsonl";

    std::vector<std::unique_ptr<TerminalSimulator>> terminals;
    std::vector<std::unique_ptr<TftpServer>> units;
    std::vector<std::vector<std::string>> targets; // each as its two arguments
    for (int i = 0; i < SerialTerminals; ++i) {
        TerminalOptions options;
        options.loaderAtStart = TerminalLoader::Bootloader;
        options.paceLine = true;
        terminals.push_back(std::make_unique<TerminalSimulator>(options));
        std::string error;
        if (!terminals.back()->Start(&error)) {
            std::fprintf(stderr, "terminal: %s\n", error.c_str());
            return 1;
        }
        targets.push_back({"--port", terminals.back()->ComName()});
    }
    for (int i = 0; i < TftpUnits; ++i) {
        TftpServerOptions options;
        options.port = 0;
        options.ackDelayMs = UnitFlashWriteMs;
        options.keepBytes = false;
        units.push_back(std::make_unique<TftpServer>(options));
        std::string error;
        if (!units.back()->Start(&error)) {
            std::fprintf(stderr, "tftp: %s\n", error.c_str());
            return 1;
        }
        targets.push_back({"--ip", "127.0.0.1:" + std::to_string(units.back()->BoundPort())});
    }

    std::printf("vennix-cli: %d paced serial terminals at 115200 + %d TFTP units (ACK after %d ms), %zu-byte "
                "firmware\n\n",
                SerialTerminals, TftpUnits, UnitFlashWriteMs, ImageSize);

    // Alone: the best of a few runs, so that a disturbance of the machine does
    // not flatter the comparison.
    std::map<std::string, double> solo;
    for (int run = 0; run < SoloRuns; ++run) {
        for (const auto& target : targets) {
            RunFigures alone = RunCli({"download", file.string(), target[0], target[1], "--json"}, output);
            TimeSerialTargets(terminals, alone);
            const double seconds = alone.seconds[target[1]];
            solo[target[1]] = run == 0 ? seconds : std::min(solo[target[1]], seconds);
            if (alone.exitCode != 0)
                std::printf("  solo run of %s ended with exit %d\n", target[1].c_str(), alone.exitCode);
        }
    }

    std::vector<std::string> together{"download", file.string(), "--json"};
    for (const auto& target : targets)
        together.insert(together.end(), target.begin(), target.end());
    std::map<std::string, double> worst;
    double worstCpuShare = 0;
    double cpuShareSum = 0;
    double wallSum = 0;
    for (int run = 0; run < TogetherRuns; ++run) {
        RunFigures all = RunCli(together, output);
        TimeSerialTargets(terminals, all);
        if (all.exitCode != 0)
            std::printf("  run %d ended with exit %d\n", run + 1, all.exitCode);
        for (const auto& [target, seconds] : all.seconds)
            worst[target] = std::max(worst[target], seconds);
        const double share = all.cpuSeconds / all.wallSeconds;
        worstCpuShare = std::max(worstCpuShare, share);
        cpuShareSum += share;
        wallSum += all.wallSeconds;
        std::printf("  together, run %d: %.2f s wall, %.3f s CPU (%.1f%% of a core)\n", run + 1, all.wallSeconds,
                    all.cpuSeconds, 100 * share);
    }

    std::printf("\n%-16s %9s %14s %7s\n", "target", "alone s", "together s*", "ratio");
    double worstRatio = 0;
    for (const auto& target : targets) {
        const double alone = solo[target[1]];
        const double with = worst[target[1]];
        const double ratio = alone > 0 ? with / alone : 0;
        worstRatio = std::max(worstRatio, ratio);
        std::printf("%-16s %9.3f %14.3f %7.3f\n", target[1].c_str(), alone, with, ratio);
    }
    std::printf("alone: best of %d runs; * together: slowest of %d runs; serial times until the terminal holds the "
                "image (line-rate bound %.3f s plus the loader dialogue)\n\n",
                SoloRuns, TogetherRuns, static_cast<double>(ImageSize + 12) * 10 / 115200);
    std::printf("worst ratio together/alone: %.3f (goal: at most 1.05)\n", worstRatio);
    std::printf("CPU of the whole run: %.1f%% of a core on average, %.1f%% at worst (goal: below 10%%); "
                "%.2f s wall on average\n",
                100 * cpuShareSum / TogetherRuns, 100 * worstCpuShare, wallSum / TogetherRuns);

    terminals.clear();
    units.clear();
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
