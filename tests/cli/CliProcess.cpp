#include "CliProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>

extern char** environ;

CliProcess::CliProcess(std::vector<std::string> arguments)
{
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return;
    }
    std::vector<std::string> all{VENNIX_CLI_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // The test runner may block signals; the child starts with none blocked and
    // default handling, as from a shell.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    outReader = std::thread([this, fd = outPipe[0]] { Collect(fd, out); });
    errReader = std::thread([this, fd = errPipe[0]] { Collect(fd, err); });
}

CliProcess::~CliProcess()
{
    if (pid > 0 && !reaped) {
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    if (outReader.joinable())
        outReader.join();
    if (errReader.joinable())
        errReader.join();
}

void CliProcess::Collect(int fd, std::string& into)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        std::lock_guard lock(mutex);
        into.append(buffer, static_cast<size_t>(n));
        changed.notify_all();
    }
    ::close(fd);
}

bool CliProcess::Wait(std::chrono::milliseconds limit)
{
    if (pid <= 0)
        return false;
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            reaped = true;
            exitCode = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reaped = true;
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // The pipes close with the child; the readers finish what is left.
    outReader.join();
    errReader.join();
    return true;
}

void CliProcess::Signal(int number)
{
    if (pid > 0 && !reaped)
        ::kill(pid, number);
}

std::string CliProcess::Out() const
{
    std::lock_guard lock(mutex);
    return out;
}

std::string CliProcess::Err() const
{
    std::lock_guard lock(mutex);
    return err;
}

bool CliProcess::WaitFor(const std::string& stream, const std::string& text, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, limit, [&] { return stream.find(text) != std::string::npos; });
}

bool CliProcess::WaitForOut(const std::string& text, std::chrono::milliseconds limit) const
{
    return WaitFor(out, text, limit);
}

bool CliProcess::WaitForErr(const std::string& text, std::chrono::milliseconds limit) const
{
    return WaitFor(err, text, limit);
}
