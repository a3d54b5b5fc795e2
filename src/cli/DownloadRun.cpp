#include "DownloadRun.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "CliReporter.h"
#include "ComPortNames.h"
#include "DownloadFile.h"
#include "DownloadLog.h"
#include "DownloadRecord.h"
#include "EthernetDownloadJob.h"
#include "ExitCode.h"
#include "ProgressView.h"
#include "RunSignals.h"
#include "SerialDownloadJob.h"
#include "SerialPort.h"
#include "SerialTarget.h"
#include "TransferTally.h"

#ifndef VENNIX_VERSION
#define VENNIX_VERSION "unknown"
#endif

namespace {

using Clock = std::chrono::steady_clock;

// How often the bars are redrawn on a terminal; without bars the run sleeps
// until something happens.
constexpr int RedrawMs = 200;
// A worker lets go of its port and its reporter right after Finish; this only
// bounds that last moment should something be badly wrong.
constexpr auto LetGoLimit = std::chrono::seconds(5);

RecordOutcome RecordOutcomeOf(TargetOutcome outcome)
{
    switch (outcome) {
    case TargetOutcome::Finished: return RecordOutcome::Finished;
    case TargetOutcome::Cancelled: return RecordOutcome::Cancelled;
    case TargetOutcome::TimedOut: return RecordOutcome::TimedOut;
    default: return RecordOutcome::Failed;
    }
}

std::string AbsolutePath(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

} // namespace

struct DownloadRun::Target {
    TargetArgument argument;
    std::string label;
    std::string portName; // "COM33", or "rfc2217://HOST:PORT" without a COM number
    std::shared_ptr<SerialPort> port;
    std::string address;
    uint16_t tftpPort = 0;
    int index = -1;
    std::unique_ptr<CliReporter> reporter;
    std::unique_ptr<SerialDownloadJob> serialJob;
    std::unique_ptr<EthernetDownloadJob> ethernetJob;
    // The record in the making: filled in before the start, completed by the
    // worker's Finish, and touched by nothing else meanwhile.
    DownloadRecord record;
    std::shared_ptr<TransferTally> tally;
    // Held for the whole append, so that a second Ctrl-C, which ends the
    // process straight after recording, waits for a record already being written.
    std::mutex recordMutex;
    bool recorded = false;
};

DownloadRun::DownloadRun(const CliRequest& request, RunSignals& signals, std::FILE* messages, std::FILE* results)
    : request(request), signals(signals), messages(messages), results(results)
{
}

DownloadRun::~DownloadRun() = default;

void DownloadRun::Refuse(const std::string& text)
{
    std::fprintf(messages, "vennix-cli: %s\n", text.c_str());
    std::fflush(messages);
}

bool DownloadRun::ParseAddress(const std::string& text, uint16_t defaultPort, std::string& address, uint16_t& port,
                               std::string* error)
{
    std::string host = text;
    port = defaultPort;
    const size_t colon = text.find(':');
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        const std::string digits = text.substr(colon + 1);
        char* end = nullptr;
        const long value = digits.empty() ? 0 : std::strtol(digits.c_str(), &end, 10);
        if (digits.empty() || *end != '\0' || value < 1 || value > 65535) {
            *error = "\"" + text + "\" has no valid UDP port after the colon (1 to 65535).";
            return false;
        }
        port = static_cast<uint16_t>(value);
    }
    in_addr parsed{};
    if (::inet_pton(AF_INET, host.c_str(), &parsed) != 1) {
        *error = "\"" + text + "\" is no IPv4 address: give four numbers 0 to 255 with dots, such as 192.168.1.50.";
        return false;
    }
    if (parsed.s_addr == htonl(INADDR_ANY)) {
        // What an untouched address box holds; on Linux it reaches this computer.
        *error = "0.0.0.0 is no terminal's address.";
        return false;
    }
    char canonical[INET_ADDRSTRLEN];
    // The job reads the text the C way, where a leading zero means octal.
    ::inet_ntop(AF_INET, &parsed, canonical, sizeof canonical);
    address = canonical;
    return true;
}

bool DownloadRun::CheckFile(int& kind, int64_t& size)
{
    const DownloadFileInfo info = ClassifyDownloadFile(request.file);
    switch (info.outcome) {
    case DownloadFileInfo::NoSuchFile:
        Refuse(request.file + ": no such file.");
        return false;
    case DownloadFileInfo::Unrecognised:
        Refuse("Unrecognizeable file type: " + request.file +
               " (a download is a firmware image .bin or an application .bff).");
        return false;
    case DownloadFileInfo::TooLarge:
        Refuse(TooLargeMessage(request.file, info.size));
        return false;
    case DownloadFileInfo::Recognised:
        break;
    }
    kind = info.kind;
    size = info.size;
    return true;
}

bool DownloadRun::PrepareTargets()
{
    std::set<std::string> seen;
    for (const TargetArgument& argument : request.targets) {
        auto target = std::make_unique<Target>();
        target->argument = argument;
        target->label = argument.text;
        std::string error;
        std::string key;
        if (argument.kind == TargetArgument::Kind::Port) {
            if (!SerialTarget::ResolveName(argument.text, target->portName, &error)) {
                Refuse(error);
                return false;
            }
            key = target->portName;
        } else {
            if (!ParseAddress(argument.text, request.tftpPort, target->address, target->tftpPort, &error)) {
                Refuse(error);
                return false;
            }
            key = target->address + ":" + std::to_string(target->tftpPort);
        }
        if (!seen.insert(key).second) {
            Refuse(argument.text + " is named twice; each target takes one download at a time.");
            return false;
        }
        targets.push_back(std::move(target));
    }
    for (auto& target : targets) {
        if (target->argument.kind != TargetArgument::Kind::Port)
            continue;
        std::string error;
        target->port = SerialTarget::OpenName(target->portName, request.baudRate, request.format, &error);
        if (!target->port) {
            Refuse(error);
            return false;
        }
    }
    return true;
}

int DownloadRun::Run()
{
    int kind = 0;
    int64_t size = 0;
    if (!CheckFile(kind, size) || !PrepareTargets()) {
        targets.clear(); // closes what was opened
        return ExitUsage;
    }
    ProgressView::Mode mode = request.json    ? ProgressView::Mode::Json
                              : request.quiet ? ProgressView::Mode::Quiet
                              : ::isatty(fileno(messages)) ? ProgressView::Mode::Bars
                                                           : ProgressView::Mode::Lines;
    ProgressView view(mode, messages, results, [this] { signals.Wake(); });
    if (!request.noRecord)
        log = std::make_unique<DownloadLog>(request.recordPath.empty() ? DownloadLog::DefaultPath()
                                                                       : request.recordPath);

    DownloadRecord common;
    common.Begin("vennix-cli", VENNIX_VERSION);
    common.filePath = AbsolutePath(request.file);
    common.fileName = std::filesystem::path(request.file).filename().string();
    common.fileSize = size;
    common.fileKind = kind == Firmware ? "firmware" : "application";
    for (auto& target : targets) {
        target->index = view.AddTarget(target->label, size);
        target->reporter = std::make_unique<CliReporter>(view, target->index, cancelAll, request.timeoutSeconds);
        std::shared_ptr<TransferObserver> observer;
        if (log) {
            target->record = common;
            target->record.target = target->label;
            if (target->port) {
                target->record.transport = "serial";
                // A device server's port named by its address has no COM name.
                const int number = ComPortNames::ParseNumber(target->portName);
                target->record.port = target->portName;
                target->record.device = number > 0 ? ComPortNames::RealDevicePath(number) : target->portName;
                target->record.baudRate = request.baudRate;
                target->record.format = request.format;
            } else {
                target->record.transport = "ethernet";
                target->record.address = target->address;
                target->record.udpPort = target->tftpPort;
            }
            target->tally = std::make_shared<TransferTally>();
            observer = target->tally;
            Target* self = target.get();
            target->reporter->SetFinishHook([this, self, &view](TargetOutcome outcome, const std::string& text) {
                Record(*self, outcome, text, view);
            });
        }
        if (target->port)
            target->serialJob = std::make_unique<SerialDownloadJob>(
                request.file, static_cast<DownloadFileKind>(kind), target->port, target->reporter.get(), observer);
        else
            target->ethernetJob = std::make_unique<EthernetDownloadJob>(
                request.file, kind, target->address, *target->reporter, target->tftpPort, observer);
    }
    for (auto& target : targets) {
        view.Started(target->index);
        target->record.start = std::chrono::system_clock::now();
        const bool started = target->serialJob ? target->serialJob->Start() : target->ethernetJob->Start();
        if (!started) {
            target->reporter->ShowStatus("Can not start the download thread!");
            target->reporter->Finish();
        }
    }
    view.Redraw();

    Supervise(view);
    const bool letGo = WaitForWorkersToLetGo();
    view.Conclude();
    const int exit = ExitCodeOf(view);
    if (!letGo) {
        // A worker still holds its reporter (and the view): nothing may be destroyed.
        std::fflush(nullptr);
        std::_Exit(exit);
    }
    targets.clear();
    return exit;
}

void DownloadRun::Record(Target& target, TargetOutcome outcome, const std::string& finalText, ProgressView& view)
{
    // Once a target: its worker's Finish and a second Ctrl-C may both come here.
    const std::lock_guard<std::mutex> hold(target.recordMutex);
    if (target.recorded)
        return;
    target.recorded = true;
    DownloadRecord& record = target.record;
    record.end = std::chrono::system_clock::now();
    record.outcome = RecordOutcomeOf(outcome);
    record.finalText = finalText;
    target.tally->FillIn(record);
    std::string error;
    if (!log->Append(record, &error) && !recordFailureTold.exchange(true))
        view.Note("the downloads were not recorded: " + error + ".");
}

int DownloadRun::ExitCodeOf(const ProgressView& view)
{
    const std::vector<ProgressView::Result> all = view.Results();
    auto any = [&all](TargetOutcome outcome) {
        return std::any_of(all.begin(), all.end(), [outcome](const auto& result) { return result.outcome == outcome; });
    };
    if (any(TargetOutcome::Cancelled))
        return ExitCancelled;
    if (any(TargetOutcome::Failed))
        return ExitFailed;
    if (any(TargetOutcome::TimedOut))
        return ExitTimedOut;
    return ExitFinished;
}

void DownloadRun::Supervise(ProgressView& view)
{
    // A run without --timeout never reaches its deadline.
    bool deadlinePending = request.timeoutSeconds > 0;
    const Clock::time_point deadline =
        deadlinePending ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(request.timeoutSeconds))
                        : Clock::time_point::max();
    int signalsHandled = 0;
    while (!view.AllFinished()) {
        int waitMs = view.HasBars() ? RedrawMs : -1;
        if (deadlinePending) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            const int leftMs = static_cast<int>(std::clamp<long long>(left, 0, 24LL * 3600 * 1000));
            waitMs = waitMs < 0 ? leftMs : std::min(waitMs, leftMs);
        }
        const RunSignals::Event event = signals.Wait(waitMs);
        if (event == RunSignals::Event::Failed)
            std::this_thread::sleep_for(std::chrono::milliseconds(RedrawMs));
        if (event == RunSignals::Event::Signal && signalsHandled == 0) {
            signalsHandled = 1;
            Cancel(view);
        } else if (event == RunSignals::Event::Signal) {
            // A second Ctrl-C: the operator will not wait for the workers.
            const std::string text = "Stopped without waiting for the targets to end.";
            view.Note(text);
            // The targets still running leave their records now or never.
            for (auto& target : targets)
                if (log)
                    Record(*target, TargetOutcome::Cancelled, text, view);
            std::fflush(nullptr);
            std::_Exit(ExitCancelled);
        }
        if (deadlinePending && Clock::now() >= deadline) {
            deadlinePending = false;
            for (auto& target : targets)
                target->reporter->StopForTimeout();
        }
        view.Redraw();
    }
}

void DownloadRun::Cancel(ProgressView& view)
{
    cancelAll.store(true, std::memory_order_release);
    const int running = view.Unfinished();
    view.Note("Cancelling: waiting for " + std::to_string(running) + (running == 1 ? " target" : " targets") +
              " to stop (Ctrl-C again to leave at once).");
}

bool DownloadRun::WaitForWorkersToLetGo()
{
    // The serial worker clears its running flag before Finish and lets go of its
    // port after; the Ethernet worker clears its flag after Finish. Either way
    // the reporter and the port may be destroyed only once the worker is done.
    const auto limit = Clock::now() + LetGoLimit;
    for (auto& target : targets)
        target->serialJob.reset(); // a record only: the worker has its own copy of everything
    auto done = [](const Target& target) {
        if (target.ethernetJob)
            return !target.ethernetJob->IsRunning();
        return !target.port || target.port.use_count() == 1;
    };
    for (const auto& target : targets) {
        while (!done(*target)) {
            if (Clock::now() > limit)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}
