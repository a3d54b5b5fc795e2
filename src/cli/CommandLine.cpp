#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <utility>
#include <map>
#include <ostream>

#include "ExitCode.h"
#include "SerialTarget.h"

namespace {

#ifdef _WIN32
const char* const PortHelp =
    "a serial target: COM name (COM3, or \\\\.\\COM12) or a device server's port (rfc2217://HOST:PORT)";
#else
const char* const PortHelp =
    "a serial target: COM name (COM33), device (/dev/ttyUSB0) or a device server's port (rfc2217://HOST:PORT)";
#endif

#ifndef VENNIX_VERSION
#define VENNIX_VERSION "unknown"
#endif

void AddLineOptions(CLI::App& command, CliRequest& request)
{
    std::vector<std::string> rates;
    for (uint32_t rate : SerialTarget::BaudRates())
        rates.push_back(std::to_string(rate));
    command.add_option("--baud", request.baudRate, "baud rate (default 115200)")
        ->check(CLI::IsMember(rates))
        ->type_name("N");
    command.add_option("--format", request.format, "data format: 8n1, 8n2, 8o1, 8o2, 8e1 or 8e2 (default 8n1)")
        ->transform(CLI::IsMember(SerialTarget::DataFormats(), CLI::ignore_case))
        ->type_name("FORMAT");
}

void AddTimeout(CLI::App& command, CliRequest& request, const char* what)
{
    command.add_option("--timeout", request.timeoutSeconds, what)->check(CLI::PositiveNumber)->type_name("SECONDS");
}

// The targets in the order they were given, --port and --ip mixed.
std::vector<TargetArgument> TargetsInOrder(const CLI::App& download, const CLI::Option* portOption,
                                       const CLI::Option* ipOption)
{
    std::vector<TargetArgument> targets;
    std::map<const CLI::Option*, size_t> used;
    for (const CLI::Option* option : download.parse_order()) {
        if (option != portOption && option != ipOption)
            continue;
        const auto& values = option->results();
        const size_t at = used[option]++;
        if (at < values.size())
            targets.push_back({option == portOption ? TargetArgument::Kind::Port : TargetArgument::Kind::Ip, values[at]});
    }
    return targets;
}

} // namespace

int CommandLine::Parse(int argc, const char* const* argv, CliRequest& request, std::ostream& out, std::ostream& err)
{
    CLI::App app{"Downloads firmware (.bin) and applications (.bff) to operator terminals over serial ports and "
                 "Ethernet, several at once; also brings a terminal into its bootloader and talks to its console.",
                 "vennix-cli"};
    // On Windows CLI11 would take "/images/fw.bin" for an option "/images"; ours
    // are written --name on every platform, so a path may start with a slash.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("vennix-cli ") + VENNIX_VERSION);
    app.require_subcommand(1);
    app.footer("Exit codes: 0 every target finished, 1 a target failed, 2 bad usage or a refused file or "
               "target, 3 cancelled (Ctrl-C), 4 timed out.");

    CLI::App* ports = app.add_subcommand("ports", "list the serial ports, with what identifies USB adapters, and the network ports");
    ports->add_flag("--json", request.json, "one JSON object per port and line");

    CLI::App* download = app.add_subcommand(
        "download", "send FILE to every TARGET at once; a TARGET is --port NAME or --ip ADDRESS");
    download->add_option("FILE", request.file, "the .bin firmware or .bff application to send")
        ->required()
        ->type_name("FILE");
    std::vector<std::string> portNames;
    std::vector<std::string> addresses;
    CLI::Option* portOption =
        download->add_option("--port", portNames, PortHelp)
            ->type_name("NAME")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* ipOption =
        download->add_option("--ip", addresses, "an Ethernet target: dotted IPv4 address, optionally :PORT")
            ->type_name("ADDRESS")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    download->add_option("--tftp-port", request.tftpPort, "UDP port of the units' TFTP servers (default 69)")
        ->check(CLI::Range(1, 65535))
        ->type_name("N");
    AddLineOptions(*download, request);
    AddTimeout(*download, request, "stop a target that has not finished after SECONDS");
    download->add_flag("--json", request.json, "one JSON object per line for each status, progress step and result");
    download->add_flag("--quiet", request.quiet, "print only the summary (and errors)");

    download->add_option("--record", request.recordPath,
                         "append the record of each target to FILE (a log shared by a production line) "
                         "instead of the user's own log")
        ->type_name("FILE");
    CLI::Option* noRecordOption = download->add_flag("--no-record", request.noRecord, "keep no record of this run");
    download->get_option("--record")->excludes(noRecordOption);

    CLI::App* induce = app.add_subcommand("induce", "bring the terminal on a port into its bootloader");
    induce->add_option("--port", request.port, "the port")->required()->type_name("NAME");
    AddTimeout(*induce, request, "give up after SECONDS");
    induce->add_flag("--json", request.json, "the result as one JSON object");

    CLI::App* send = app.add_subcommand("send", "write TEXT to a port; \\xHH stands for any byte");
    send->add_option("--port", request.port, "the port")->required()->type_name("NAME");
    AddLineOptions(*send, request);
    send->add_option("TEXT", request.text, "what to send")->required();

    CLI::App* monitor = app.add_subcommand("monitor", "print what the terminal sends, as the window shows it");
    monitor->add_option("--port", request.port, "the port")->required()->type_name("NAME");
    AddLineOptions(*monitor, request);
    monitor->add_flag("--raw", request.raw, "the bytes themselves, not rendered");
    AddTimeout(*monitor, request, "stop listening after SECONDS");

    CLI::App* history = app.add_subcommand("history", "print the records of past downloads, newest first");
    history->add_option("--record", request.recordPath, "read FILE instead of the user's own log")->type_name("FILE");
    CLI::Option* jsonOption = history->add_flag("--json", request.json, "the records as JSON Lines");
    history->add_flag("--csv", request.csv, "the records as CSV, with a heading line")->excludes(jsonOption);
    std::string since;
    std::string until;
    std::vector<std::string> outcomes;
    history->add_option("--since", since, "only downloads started at or after TIME: 2026-12-09, 2026-12-09T18:00 "
                                          "(UTC) or an age such as 30m, 12h, 7d")
        ->type_name("TIME");
    history->add_option("--until", until, "only downloads started before TIME")->type_name("TIME");
    history->add_option("--target", request.filter.target,
                        "only downloads to a target whose name, device or address contains TEXT")
        ->type_name("TEXT");
    history->add_option("--outcome", outcomes, "only downloads that ended so (may be repeated)")
        ->check(CLI::IsMember({"finished", "failed", "cancelled", "timeout"}))
        ->type_name("finished|failed|cancelled|timeout")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    history->add_option("--limit", request.limit, "at most N records (the newest)")->check(CLI::PositiveNumber)
        ->type_name("N");

    // CLI11 would only say that a command is missing.
    const auto commands = app.get_subcommands([](const CLI::App* command) { return command != nullptr; });
    const bool known = argc > 1 && std::any_of(commands.begin(), commands.end(),
                                               [&](const CLI::App* command) { return command->get_name() == argv[1]; });
    if (argc > 1 && argv[1][0] != '-' && !known) {
        err << "vennix-cli: unknown command \"" << argv[1]
            << "\"; the commands are ports, download, induce, send, monitor and history.\n";
        return ExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return ExitFinished;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return ExitFinished;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << "\n";
        return ExitFinished;
    } catch (const CLI::ParseError& error) {
        err << "vennix-cli: " << error.what() << "\nRun vennix-cli --help for the usage.\n";
        return ExitUsage;
    }

    if (ports->parsed())
        request.command = CliRequest::Command::Ports;
    else if (download->parsed())
        request.command = CliRequest::Command::Download;
    else if (induce->parsed())
        request.command = CliRequest::Command::Induce;
    else if (send->parsed())
        request.command = CliRequest::Command::Send;
    else if (history->parsed())
        request.command = CliRequest::Command::History;
    else
        request.command = CliRequest::Command::Monitor;
    std::transform(request.format.begin(), request.format.end(), request.format.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });

    if (request.command == CliRequest::Command::Download) {
        request.targets = TargetsInOrder(*download, portOption, ipOption);
        if (request.targets.empty()) {
            err << "vennix-cli: download needs at least one target: --port NAME or --ip ADDRESS.\n";
            return ExitUsage;
        }
    }
    if (request.command == CliRequest::Command::History) {
        const auto now = std::chrono::system_clock::now();
        for (const auto& [text, into] : {std::pair{&since, &request.filter.since}, std::pair{&until, &request.filter.until}}) {
            if (text->empty())
                continue;
            HistoryFilter::TimePoint time;
            if (!HistoryFilter::ParseTime(*text, now, time)) {
                err << "vennix-cli: \"" << *text
                    << "\" is no time: give a UTC date (2026-12-09), a date and time (2026-12-09T18:00) or an age "
                       "(30m, 12h, 7d).\n";
                return ExitUsage;
            }
            *into = time;
        }
        for (const std::string& name : outcomes) {
            RecordOutcome outcome;
            if (DownloadRecord::ParseOutcome(name, outcome))
                request.filter.outcomes.push_back(outcome);
        }
    }
    return -1;
}
