#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "HistoryFilter.h"

// One download target as given: --port NAME or --ip ADDRESS[:PORT].
struct TargetArgument {
    enum class Kind { Port, Ip };
    Kind kind = Kind::Port;
    std::string text;
};

// What the command line asks for, once parsed and checked.
struct CliRequest {
    enum class Command { Ports, Download, Induce, Send, Monitor, History };
    Command command = Command::Ports;

    std::string file;                // download
    std::vector<TargetArgument> targets; // download, in the order given
    std::string port;                // induce, send, monitor
    std::string text;                // send
    uint32_t baudRate = 115200;
    std::string format = "8n1";
    double timeoutSeconds = 0; // 0: none
    uint16_t tftpPort = 69;
    bool json = false;
    bool quiet = false;
    bool raw = false;

    // download: where the record of each target goes (empty: the user's log), or none.
    // history: which log to read.
    std::string recordPath;
    bool noRecord = false;
    // history
    bool csv = false;
    HistoryFilter filter;
    size_t limit = 0; // 0: every record
};

// The program's options, parsed with CLI11.
class CommandLine {
public:
    // Parses argv into *request. Returns -1 when the program should go on;
    // otherwise the exit code: 0 after --help or --version (written to out),
    // 2 after a usage error (explained on err).
    static int Parse(int argc, const char* const* argv, CliRequest& request, std::ostream& out, std::ostream& err);
};
