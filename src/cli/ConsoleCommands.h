#pragma once

#include <cstdio>

#include "CommandLine.h"

class RunSignals;

// The console functions of the window's serial page, from the command line:
// `induce` (the bootloader dialog's steps), `send` (the Xmit box) and `monitor`
// (the results box). Each returns the exit code.
class ConsoleCommands {
public:
    static int Induce(const CliRequest& request, RunSignals& signals, std::FILE* messages, std::FILE* results);
    static int Send(const CliRequest& request, RunSignals& signals, std::FILE* messages);
    static int Monitor(const CliRequest& request, RunSignals& signals, std::FILE* messages, std::FILE* results);

    // Pause between induction passes, as the window's dialog takes it.
    static constexpr int InducePauseMs = 40;
    // A vanished device posts nothing; the monitor looks this often.
    static constexpr int DeviceCheckMs = 500;
    // What the monitor reads at a time, as the window does.
    static constexpr int ReadChunk = 1024;
};
