#include "SimulatorCommandLine.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <map>
#include <memory>

namespace {

// Upper bound for every millisecond option of the serial side: an hour is far
// beyond any test or session, and keeps deadlines clear of overflow.
constexpr int MaxMilliseconds = 3600 * 1000;
constexpr int MaxTftpMilliseconds = 24 * 60 * 60 * 1000;
constexpr size_t MaxBytes = size_t{1} << 40;

const char* const Intro =
    "Plays an operator terminal for Vennix: its bootloader and apploader on a serial\n"
    "port, and its TFTP server. The serial port is a pseudo-terminal that appears in\n"
    "Vennix's port list under a COM name (a link in ~/.config/Tavrix Corporation/ports);\n"
    "pick that name in Vennix. Everything the terminal sees and answers is printed\n"
    "here, and each received file is checked (length, complement, CRC) and shown with\n"
    "its SHA-256, so it can be compared with sha256sum of the file sent.\n"
    "Stop it with Ctrl-C; it removes its COM name. Send it SIGUSR1 to cycle its power,\n"
    "SIGUSR2 to pull or replug its cable.";

// A validator from a function that says what is wrong with a value (empty:
// nothing). Validators go unnamed: the help shows each option's own type name.
CLI::Validator Rule(std::function<std::string(std::string&)> check)
{
    return CLI::Validator(std::move(check), "");
}

CLI::Validator Quiet(CLI::Validator validator)
{
    validator.description("");
    return validator;
}

// The reply to "F;": "none" sends nothing, "garbage" a byte no loader sends,
// anything else is one hex byte, with or without 0x.
bool ParseFlowReply(const std::string& text, int& value)
{
    if (text == "none") {
        value = -1;
        return true;
    }
    if (text == "garbage") {
        value = 'x';
        return true;
    }
    std::string digits = text;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0)
        digits = digits.substr(2);
    int parsed = 0;
    auto [end, problem] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed, 16);
    if (digits.empty() || problem != std::errc() || end != digits.data() + digits.size() || parsed < 0 || parsed > 0xFF)
        return false;
    value = parsed;
    return true;
}

// "A,B,R,version": the commands answered with "illegal".
bool ParseRefusals(const std::string& list, TerminalOptions& options)
{
    TerminalOptions parsed;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item == "A")
            parsed.refuseA = true;
        else if (item == "B")
            parsed.refuseB = true;
        else if (item == "R")
            parsed.refuseR = true;
        else if (item == "version" || item == "Q;W;Q;")
            parsed.refuseVersion = true;
        else if (!item.empty())
            return false;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    options.refuseA = parsed.refuseA;
    options.refuseB = parsed.refuseB;
    options.refuseR = parsed.refuseR;
    options.refuseVersion = parsed.refuseVersion;
    return true;
}

void AddGeneralOptions(CLI::App& app, SimulatorOptions& options)
{
    const std::string group = "General";
    app.add_option("--ready-file", options.readyFile, "write the COM name to PATH once the terminal is ready")
        ->type_name("PATH")->group(group);
    app.add_option("--save-dir", options.saveDir, "save each received file as DIR/received-N.bin")
        ->type_name("DIR")->group(group);
    app.add_flag("--verbose", options.verbose, "also print every byte read off the line")->group(group);
    app.add_flag_callback("--no-tftp", [&options] { options.tftpEnabled = false; }, "do not start the TFTP server")
        ->group(group);
}

void AddSerialOptions(CLI::App& app, TerminalOptions& options)
{
    std::string group = "Serial side (a pseudo-terminal published as a COM port alias)";
    app.add_option("--com", options.comNumber, "publish as COM<N> (default: first free from COM40)")
        ->check(Quiet(CLI::Range(1, 255)))->type_name("N")->group(group);
    const std::map<std::string, TerminalLoader> loaders{{"boot", TerminalLoader::Bootloader},
                                                        {"bootloader", TerminalLoader::Bootloader},
                                                        {"app", TerminalLoader::Apploader},
                                                        {"apploader", TerminalLoader::Apploader},
                                                        {"off", TerminalLoader::Off}};
    app.add_option("--loader", options.loaderAtStart,
                   "what runs at start: bootloader, apploader, or neither (off: the unit answers nothing until "
                   "it is power-cycled); default app")
        ->transform(Quiet(CLI::CheckedTransformer(loaders)))->type_name("boot|app|off")->group(group);
    app.add_option("--app-rate", options.apploaderRate,
                   "apploader line rate (default 115200); the bootloader is always 115200 8N1")
        ->check(Quiet(CLI::Range(50u, 4000000u)))->type_name("BAUD")->group(group);
    app.add_option("--app-format", options.apploaderFormat,
                   "apploader data format: 8n1 8n2 8o1 8o2 8e1 8e2 (default 8n1). A pseudo-terminal keeps rate and "
                   "stop bits but not parity, so parity cannot be checked")
        ->check(Rule([](std::string& value) { return IsValidLineFormat(value) ? "" : "not a data format: " + value; }))
        ->type_name("8n1")->group(group);
    app.add_option("--version", options.firmwareVersion,
                   "firmware version the apploader reports to Q;W;Q; (default 1.50)")
        ->check(Rule([](std::string& value) { return value.empty() ? "the version needs a text" : ""; }))
        ->type_name("TEXT")->group(group);
    app.add_flag_callback("--no-version", [&options] { options.firmwareVersion.clear(); },
                          "the apploader has no version command: answers \"illegal\" (wins over --version)")
        ->group(group);
    app.add_option("--flow", options.flowControlReply,
                   "reply to F;: 80 (none), 81 (XON/XOFF, escaped data), 82 (RTS/CTS), none (no reply), garbage, "
                   "or any hex byte (default 81)")
        ->transform(Rule(
            [](std::string& value) {
                int reply = 0;
                if (!ParseFlowReply(value, reply))
                    return "not a flow-control reply: " + value;
                value = std::to_string(reply);
                return std::string();
            }))
        ->type_name("81")->group(group);
    app.add_option_function<std::string>(
           "--refuse", [&options](const std::string& list) { ParseRefusals(list, options); },
           "answer these commands with \"illegal\"")
        ->check(Rule(
            [](std::string& value) {
                TerminalOptions probe;
                return ParseRefusals(value, probe) ? "" : "not a list of A, B, R and version: " + value;
            }))
        ->type_name("A,B,R,version")->group(group);
    app.add_flag("--silent", options.silent, "never send anything")->group(group);
    app.add_option("--restart-ms", options.restartMs,
                   "how long R;, A; and B; take to bring up the next loader (default 50)")
        ->check(Quiet(CLI::Range(0, MaxMilliseconds)))->type_name("MS")->group(group);

    group = "Rude, like real terminals";
    app.add_option("--chatter-ms", options.chatterIntervalMs,
                   "send a status line every MS (fractions allowed) until the first command")
        ->check(Quiet(CLI::Range(0.05, double(MaxMilliseconds))))->type_name("MS")->group(group);
    app.add_flag("--chatter-always", options.chatterAlways,
                 "...and go on after it, during the dialogue and the transfer")->group(group);
    app.add_flag("--boot-chatter", options.bootChatter, "print boot messages while restarting and powering up")
        ->group(group);
    app.add_option("--reply-delay-ms", options.replyDelayMs, "answer commands MS late (over 100 a reply misses its window)")
        ->check(Quiet(CLI::Range(0, MaxMilliseconds)))->type_name("MS")->group(group);
    app.add_flag_callback("--no-line-check", [&options] { options.checkLineFlow = false; },
                          "take an image whatever flow control the far end's line has")->group(group);
    app.add_option("--unplug-after-ms", options.unplugAfterMs,
                   "pull the cable MS after start (send SIGUSR2 to pull or replug by hand)")
        ->check(Quiet(CLI::Range(1, MaxMilliseconds)))->type_name("MS")->group(group);

    group = "Power cycle and bootloader induction (IIIII while powering up -> NOTICE, Entering)";
    const std::map<std::string, InductionReply> replies{{"normal", InductionReply::NoticeThenEntering},
                                                        {"notice-only", InductionReply::NoticeOnly},
                                                        {"none", InductionReply::Nothing}};
    app.add_option("--induction", options.inductionReply, "how the unit answers IIIII (default normal)")
        ->transform(Quiet(CLI::CheckedTransformer(replies)))->type_name("normal|notice-only|none")->group(group);
    app.add_option("--power-up-ms", options.powerUpWindowMs,
                   "how long after power-on IIIII is listened for (default 1500)")
        ->check(Quiet(CLI::Range(1, MaxMilliseconds)))->type_name("MS")->group(group);
    app.add_option("--entering-delay-ms", options.enteringDelayMs, "pause between NOTICE and Entering (default 100)")
        ->check(Quiet(CLI::Range(0, MaxMilliseconds)))->type_name("MS")->group(group);
    app.add_option("--power-cycle-on-induce", options.powerCycleOnInduceMs,
                   "cycle power by itself MS after IIIII reaches a unit that does not listen, as an operator would "
                   "(send SIGUSR1 to cycle by hand)")
        ->check(Quiet(CLI::Range(1, MaxMilliseconds)))->type_name("MS")->group(group);

    group = "Line behaviour during a transfer (BYTES counts bytes of the image being received)";
    app.add_flag("--pace", options.paceLine, "read no faster than rate/10 bytes a second, like a real line")
        ->group(group);
    app.add_option("--xoff-after", options.xoffAfterBytes, "send XOFF after BYTES, and XON --xoff-ms later")
        ->check(Quiet(CLI::Range(size_t{1}, MaxBytes)))->type_name("BYTES")->group(group);
    app.add_option("--xoff-ms", options.xoffHoldMs, "how long XOFF holds the line (default 1000)")
        ->check(Quiet(CLI::Range(1, MaxMilliseconds)))->type_name("MS")->group(group);
    app.add_option("--stall-after", options.stallAfterBytes, "stop reading after BYTES for --stall-ms")
        ->check(Quiet(CLI::Range(size_t{1}, MaxBytes)))->type_name("BYTES")->group(group);
    app.add_option("--stall-ms", options.stallMs, "how long a stall lasts (default 1000)")
        ->check(Quiet(CLI::Range(1, MaxMilliseconds)))->type_name("MS")->group(group);
    app.add_option("--unplug-after", options.unplugAfterBytes, "close the line after BYTES, as a pulled cable")
        ->check(Quiet(CLI::Range(size_t{1}, MaxBytes)))->type_name("BYTES")->group(group);
    app.add_option("--expect-size", options.expectedImageSize,
                   "an application image ends after BYTES (default: after a quiet line)")
        ->check(Quiet(CLI::Range(size_t{1}, MaxBytes)))->type_name("BYTES")->group(group);
    app.add_option("--idle-ms", options.imageIdleMs, "quiet time that ends an image (default 500)")
        ->check(Quiet(CLI::Range(1, MaxMilliseconds)))->type_name("MS")->group(group);
    app.add_option("--max-image", options.maxImageSize, "refuse frames declaring more (default 67108864)")
        ->check(Quiet(CLI::Range(size_t{0}, MaxBytes)))->type_name("BYTES")->group(group);

    group = "Console traffic";
    app.add_option("--stream", options.streamBytes,
                   "once the port is opened, send BYTES as fast as the line takes them")
        ->check(Quiet(CLI::Range(size_t{1}, MaxBytes)))->type_name("BYTES")->group(group);
    app.add_option_function<std::string>(
           "--stream-mix", [&options](const std::string& mix) { options.streamMixed = mix == "mixed"; },
           "numbered text lines (default), or every byte value")
        ->check(Quiet(CLI::IsMember({"text", "mixed"})))->type_name("text|mixed")->group(group);
}

void AddTftpOptions(CLI::App& app, TftpServerOptions& options)
{
    const std::string group =
        "TFTP server (default 127.0.0.1 port 69; port 69 needs root or CAP_NET_BIND_SERVICE)";
    auto milliseconds = [&](const char* name, int& field, int low, int high, const char* what) {
        app.add_option(name, field, what)->check(Quiet(CLI::Range(low, high)))->type_name("T")->group(group);
    };
    auto percent = [&](const char* name, double& field, const char* what) {
        app.add_option(name, field, what)->check(Quiet(CLI::Range(0.0, 100.0)))->type_name("PCT")->group(group);
    };
    app.add_option("--tftp-address", options.address, "IPv4 address to serve on (default 127.0.0.1)")
        ->check(Quiet(CLI::ValidIPV4))->type_name("A")->group(group);
    app.add_option("--tftp-port", options.port, "UDP port (default 69; 0 = any free port)")
        ->check(Quiet(CLI::Range(0, 65535)))->type_name("N")->group(group);
    app.add_option("--tftp-request-error", options.requestErrorCode,
                   "answer write requests with ERROR CODE (0-4 are the unit's)")
        ->check(Quiet(CLI::Range(0, 65535)))->type_name("CODE")->group(group);
    app.add_option("--tftp-request-error-count", options.requestErrorCount, "... for the first N requests only")
        ->check(Quiet(CLI::Range(0, 1000000)))->type_name("N")->group(group);
    milliseconds("--tftp-request-error-ms", options.requestErrorMs, 0, MaxTftpMilliseconds,
                 "... for T ms after the first request only (else for ever)");
    app.add_option("--tftp-data-error", options.dataErrorCode, "answer a block with ERROR CODE, ending the transfer")
        ->check(Quiet(CLI::Range(0, 65535)))->type_name("CODE")->group(group);
    app.add_option("--tftp-data-error-block", options.dataErrorBlock, "... block N, counting from 1 (default 1)")
        ->check(Quiet(CLI::Range(1u, 0xFFFFFFFFu)))->type_name("N")->group(group);
    milliseconds("--tftp-ack-delay-ms", options.ackDelayMs, 0, 60000,
                 "acknowledge each block T ms after it arrives (flash write)");
    milliseconds("--tftp-end-idle-ms", options.endIdleMs, TftpServerOptions::MinEndIdleMs, MaxTftpMilliseconds,
                 "a transfer ending on a full block ends after T ms without DATA (default 1000, at least 300)");
    app.add_option("--tftp-datagram-cost-ms", options.datagramCostMs,
                   "take one datagram at a time, each costing T ms (may be 0.5)")
        ->check(Quiet(CLI::Range(0.0, 60000.0)))->type_name("T")->group(group);
    app.add_option("--tftp-receive-queue", options.receiveQueue,
                   "at most N datagrams wait for the unit; more are dropped (default: no bound)")
        ->check(Quiet(CLI::Range(0, 100000)))->type_name("N")->group(group);
    app.add_option("--tftp-transfer-address", options.transferAddress,
                   "bind each transfer's port to A (0.0.0.0: answer from any address)")
        ->check(Quiet(CLI::ValidIPV4))->type_name("A")->group(group);
    app.add_flag("--tftp-fresh-port", options.freshPortPerRequest,
                 "answer every repeated write request from a fresh port")->group(group);
    app.add_flag("--tftp-malformed", options.malformed,
                 "send malformed datagrams from the transfer port before each ACK")->group(group);
    app.add_flag("--tftp-exact-request", options.exactRequest,
                 "refuse a write request that is not exactly the 16 bytes sent")->group(group);
    percent("--tftp-loss", options.lossPercent, "lose PCT percent of datagrams");
    percent("--tftp-duplicate", options.duplicatePercent, "duplicate PCT percent of datagrams");
    percent("--tftp-reorder", options.reorderPercent, "hold back PCT percent of datagrams until the next one");
    percent("--tftp-delay", options.delayPercent, "delay PCT percent of datagrams ...");
    milliseconds("--tftp-delay-ms", options.delayMs, 0, 60000, "... by T ms");
    app.add_option_function<std::string>(
           "--tftp-impair",
           [&options](const std::string& way) {
               options.impairIncoming = way != "out";
               options.impairOutgoing = way != "in";
           },
           "which way the above apply (default both)")
        ->check(Quiet(CLI::IsMember({"both", "in", "out"})))->type_name("both|in|out")->group(group);
    app.add_option("--tftp-seed", options.seed, "seed of the above, for a reproducible run (default 1)")
        ->check(Quiet(CLI::Range(0u, 0xFFFFFFFFu)))->type_name("N")->group(group);
    app.add_flag("--tftp-verbose", options.verbose, "log every block, not only each MiB")->group(group);
}

std::unique_ptr<CLI::App> MakeApp(SimulatorOptions& options)
{
    auto app = std::make_unique<CLI::App>(Intro, "vennix-terminal-sim");
    app->get_formatter()->column_width(34);
    app->footer("Options are written --name=VALUE or --name VALUE; given twice, the last one holds.");
    // Scripts that add an option to a shared command line rely on the last one winning.
    app->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app->set_help_flag("-h,--help", "show this text")->group("General");
    AddGeneralOptions(*app, options);
    AddSerialOptions(*app, options.terminal);
    AddTftpOptions(*app, options.tftp);
    return app;
}

} // namespace

SimulatorCommandLine::Outcome SimulatorCommandLine::Parse(const std::vector<std::string>& arguments,
                                                          SimulatorOptions& options, std::string* message)
{
    SimulatorOptions parsed = options;
    std::unique_ptr<CLI::App> app = MakeApp(parsed);
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        if (message)
            *message = app->help();
        return Outcome::Help;
    } catch (const CLI::ParseError& error) {
        if (message)
            *message = error.what();
        return Outcome::Usage;
    }
    options = parsed;
    return Outcome::Run;
}

std::string SimulatorCommandLine::HelpText()
{
    SimulatorOptions unused;
    return MakeApp(unused)->help();
}
