#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

// A free TCP port on the loopback address, as the system hands one out.
inline uint16_t FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

// Debian's ser2net, run by a test between a serial device (the simulator's
// pseudo-terminal) and a loopback TCP port, speaking RFC 2217 there.
class Ser2netServer {
public:
    Ser2netServer() = default;
    ~Ser2netServer() { Stop(); }
    Ser2netServer(const Ser2netServer&) = delete;
    Ser2netServer& operator=(const Ser2netServer&) = delete;

    static bool Installed() { return FindProgram().size() > 0; }

    // Starts it with its files in folder and waits until it listens; false
    // with a reason in *error.
    bool Start(const std::string& device, const std::filesystem::path& folder, std::string* error)
    {
        const std::string program = FindProgram();
        if (program.empty()) {
            *error = "ser2net is not installed";
            return false;
        }
        port = FreeLoopbackPort();
        const std::filesystem::path config = folder / "ser2net.yaml";
        std::ofstream(config) << "connection: &vennix\n"
                              << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << port << "\n"
                              << "  connector: serialdev," << device << ",9600n81,local\n";
        const std::string log = (folder / "ser2net.log").string();
        const std::string pidFile = (folder / "ser2net.pid").string();
        pid = ::fork();
        if (pid == 0) {
            std::freopen(log.c_str(), "w", stdout);
            std::freopen(log.c_str(), "w", stderr);
            ::execl(program.c_str(), program.c_str(), "-n", "-d", "-c", config.c_str(), "-P", pidFile.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid < 0) {
            *error = "cannot start ser2net";
            return false;
        }
        // It listens within moments; a generous deadline for a loaded machine.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Listening()) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                *error = "ser2net ended at once; see " + log;
                return false;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                *error = "ser2net does not listen on port " + std::to_string(port) + "; see " + log;
                Stop();
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // Ends it as an operator would (SIGTERM), which closes its connections.
    void Stop()
    {
        if (pid <= 0)
            return;
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
    }

    uint16_t Port() const { return port; }
    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(port); }

private:
    static std::string FindProgram()
    {
        for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"})
            if (::access(path, X_OK) == 0)
                return path;
        return std::string();
    }

    // Whether the port is in the kernel's table of listening IPv4 sockets.
    bool Listening() const
    {
        std::ifstream table("/proc/net/tcp");
        std::string line;
        char wanted[32];
        std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (local == wanted && state == "0A")
                return true;
        }
        return false;
    }

    pid_t pid = -1;
    uint16_t port = 0;
};
