// vennix-cli: Vennix's downloads, bootloader induction and serial console from
// the command line, for scripts and production lines.

#include <cstdio>
#include <iostream>

#include "CommandLine.h"
#include "ConsoleCommands.h"
#include "DownloadRun.h"
#include "ExitCode.h"
#include "HistoryCommand.h"
#include "PortListing.h"
#include "RunSignals.h"

int main(int argc, char** argv)
{
    // Before any thread exists, so that every thread inherits the blocked signals.
    RunSignals signals;
    if (!signals.Install()) {
        std::fprintf(stderr, "vennix-cli: cannot set up the handling of Ctrl-C.\n");
        return ExitFailed;
    }

    CliRequest request;
    const int parsed = CommandLine::Parse(argc, argv, request, std::cout, std::cerr);
    if (parsed >= 0)
        return parsed;

    switch (request.command) {
    case CliRequest::Command::Ports:
        return PortListing::Run(request.json, stderr, stdout);
    case CliRequest::Command::Download:
        return DownloadRun(request, signals, stderr, stdout).Run();
    case CliRequest::Command::Induce:
        return ConsoleCommands::Induce(request, signals, stderr, stdout);
    case CliRequest::Command::Send:
        return ConsoleCommands::Send(request, signals, stderr);
    case CliRequest::Command::Monitor:
        return ConsoleCommands::Monitor(request, signals, stderr, stdout);
    case CliRequest::Command::History:
        return HistoryCommand::Run(request, stderr, stdout);
    }
    return ExitUsage;
}
