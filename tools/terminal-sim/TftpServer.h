#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// Options of the simulated unit's TFTP server. Command-line form: --tftp-NAME=VALUE.
struct TftpServerOptions {
    std::string address = "127.0.0.1";
    uint16_t port = 69; // 0 lets the system choose (tests)
};

// One file the server has received completely.
struct TftpReceivedFile {
    std::string name;
    std::vector<uint8_t> bytes;
};

// The unit's TFTP server: a UDP socket on the options' address and port, served by
// a thread of its own between Start and Stop.
class TftpServer {
public:
    using Log = std::function<void(const std::string&)>;

    explicit TftpServer(TftpServerOptions options, Log log = {});
    ~TftpServer();

    // Binds and starts serving; false with a one-line reason in *error.
    bool Start(std::string* error);
    void Stop();
    uint16_t BoundPort() const;
    std::vector<TftpReceivedFile> ReceivedFiles() const;

    static void PrintHelp(std::ostream& out);
    // Takes one command-line argument of the form --tftp-NAME=VALUE. Returns false
    // when the argument is not a TFTP option; sets *error when its value is bad.
    static bool ParseOption(const std::string& argument, TftpServerOptions& options, std::string* error);

private:
    struct State;
    std::unique_ptr<State> state;
};
