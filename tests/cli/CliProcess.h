#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The real vennix-cli as a child process, with its stdout and stderr collected
// on threads of their own. The child inherits the environment, so the test's
// per-user folders (TempUserFolders) are its folders too.
class CliProcess {
public:
    explicit CliProcess(std::vector<std::string> arguments);
    ~CliProcess(); // kills a child that is still running

    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    bool Started() const { return pid > 0; }
    // Waits for the child to end; false (and the child killed) when it outlives `limit`.
    bool Wait(std::chrono::milliseconds limit);
    void Signal(int number);
    int ExitCode() const { return exitCode; } // -1 when killed by a signal

    std::string Out() const;
    std::string Err() const;
    // Wait until stdout (stderr) holds `text`.
    bool WaitForOut(const std::string& text, std::chrono::milliseconds limit) const;
    bool WaitForErr(const std::string& text, std::chrono::milliseconds limit) const;

    // Generous, for a loaded machine; a run that works ends long before.
    static constexpr std::chrono::milliseconds RunLimit{60000};

private:
    void Collect(int fd, std::string& into);
    bool WaitFor(const std::string& stream, const std::string& text, std::chrono::milliseconds limit) const;

    pid_t pid = -1;
    int exitCode = -1;
    bool reaped = false;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::string out;
    std::string err;
    std::thread outReader;
    std::thread errReader;
};
