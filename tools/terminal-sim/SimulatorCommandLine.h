#pragma once

#include "TerminalOptions.h"
#include "TftpServer.h"

#include <string>
#include <vector>

// Everything the simulator program is told on its command line.
struct SimulatorOptions {
    TerminalOptions terminal;
    TftpServerOptions tftp;
    bool tftpEnabled = true;
    bool verbose = false;
    std::string readyFile;
    std::string saveDir;
};

// The simulator's options, as --name=VALUE (or --name VALUE) and --flag.
class SimulatorCommandLine {
public:
    enum class Outcome {
        Run,   // options filled in
        Help,  // the help text is in *message
        Usage, // a one-line reason is in *message
    };

    // `arguments` excludes the program's name.
    static Outcome Parse(const std::vector<std::string>& arguments, SimulatorOptions& options, std::string* message);
    static std::string HelpText();
};
