#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CommandLine.h"

class DownloadLog;
class ProgressView;
class RunSignals;
enum class TargetOutcome;

// `vennix-cli download`: one file to every target at once, each on the worker of
// its own job, the very jobs the window runs. Everything that can be refused
// (the file, a target, a port that cannot be opened) is refused before any
// target is started, so a refused run has sent nothing anywhere.
class DownloadRun {
public:
    DownloadRun(const CliRequest& request, RunSignals& signals, std::FILE* messages, std::FILE* results);
    ~DownloadRun();

    // Runs to the end of every target; returns the exit code.
    int Run();

    // How a TARGET becomes something a job can take. Public for the checks of
    // the command line; false with a reason in *error.
    static bool ParseAddress(const std::string& text, uint16_t defaultPort, std::string& address, uint16_t& port,
                             std::string* error);

private:
    struct Target;

    bool CheckFile(int& kind, int64_t& size);
    bool PrepareTargets();
    void Supervise(ProgressView& view);
    void Cancel(ProgressView& view);
    // False when a worker has not let go in time: the run must then end the
    // process without destroying anything.
    bool WaitForWorkersToLetGo();
    static int ExitCodeOf(const ProgressView& view);
    void Refuse(const std::string& text);
    // On the target's worker, as it finishes: appends its record to the log.
    void Record(Target& target, TargetOutcome outcome, const std::string& finalText, ProgressView& view);

    const CliRequest& request;
    RunSignals& signals;
    std::FILE* const messages;
    std::FILE* const results;
    // Read by every reporter (so declared before them); set once by the first
    // SIGINT or SIGTERM.
    std::atomic<bool> cancelAll{false};
    std::vector<std::unique_ptr<Target>> targets;
    // Null with --no-record.
    std::unique_ptr<DownloadLog> log;
    // A log that cannot be written is told once a run, not once a target.
    std::atomic<bool> recordFailureTold{false};
};
