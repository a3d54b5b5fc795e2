#include "ConsoleCommands.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "BootloaderInduction.h"
#include "ConsoleText.h"
#include "EscapedString.h"
#include "ExitCode.h"
#include "JsonLine.h"
#include "NotifyTarget.h"
#include "RunSignals.h"
#include "SerialPort.h"
#include "SerialTarget.h"

namespace {

using Clock = std::chrono::steady_clock;

// Time allowed for a text to leave beyond what the line rate needs.
constexpr auto SendSlack = std::chrono::seconds(5);
constexpr int SendSliceMs = 50;
// Leaves room for escaping, which can double a byte.
constexpr size_t SendChunk = SerialPort::RingSize / 2;

// A deadline from --timeout, none when it was not given.
class Deadline {
public:
    explicit Deadline(double seconds)
        : given(seconds > 0),
          end(given ? Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds))
                    : Clock::time_point::max())
    {
    }
    bool Passed() const { return given && Clock::now() >= end; }
    // The wait of at most `limitMs` (negative: no limit) that does not run past the deadline.
    int WaitMs(int limitMs) const
    {
        if (!given)
            return limitMs;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        const long long bounded = std::clamp<long long>(left, 0, limitMs < 0 ? 24LL * 3600 * 1000 : limitMs);
        return static_cast<int>(bounded);
    }

private:
    const bool given;
    const Clock::time_point end;
};

// Wakes the main thread when the port has bytes for it.
class WakeOnReceive : public NotifyTarget {
public:
    explicit WakeOnReceive(RunSignals& signals) : signals(signals) {}
    void Post(uint32_t message) override
    {
        if (message == WM_SERIAL_RECEIVED)
            signals.Wake();
    }

private:
    RunSignals& signals;
};

std::shared_ptr<SerialPort> OpenNamed(const std::string& name, uint32_t baudRate, const std::string& format,
                                      std::FILE* messages, std::string& portName)
{
    std::string error;
    std::shared_ptr<SerialPort> port;
    if (SerialTarget::ResolveName(name, portName, &error))
        port = SerialTarget::OpenName(portName, baudRate, format, &error);
    if (!port)
        std::fprintf(messages, "vennix-cli: %s\n", error.c_str());
    return port;
}

void Say(std::FILE* messages, const std::string& text)
{
    std::fprintf(messages, "%s\n", text.c_str());
    std::fflush(messages);
}

} // namespace

int ConsoleCommands::Induce(const CliRequest& request, RunSignals& signals, std::FILE* messages, std::FILE* results)
{
    std::string portName;
    // The bootloader always listens at 115200 8N1.
    std::shared_ptr<SerialPort> port = OpenNamed(request.port, 115200, "8n1", messages, portName);
    if (!port)
        return ExitUsage;

    // With --json stdout carries the result only; what the terminal says goes to stderr.
    std::FILE* const console = request.json ? messages : results;
    ConsoleText shown(console, ::isatty(fileno(console)));
    BootloaderInduction induction([&shown](const uint8_t* bytes, int count) { shown.Append(bytes, count); });
    Say(messages, "Entering bootloader on " + portName + ". Connect the unit and cycle its power.");

    enum class Step { Probe, Induce, Confirm } step = Step::Probe;
    const Deadline deadline(request.timeoutSeconds);
    int code = -1;
    while (code < 0) {
        int pauseMs = 0;
        switch (step) {
        case Step::Probe:
            switch (induction.Probe(*port)) {
            case BootloaderInduction::ProbeResult::InBootloader: code = ExitFinished; break;
            case BootloaderInduction::ProbeResult::ResetSent: break;
            case BootloaderInduction::ProbeResult::NotRecognised: step = Step::Induce; break;
            }
            break;
        case Step::Induce:
            if (induction.Induce(*port))
                step = Step::Confirm;
            else
                pauseMs = InducePauseMs;
            break;
        case Step::Confirm:
            if (induction.Confirm(*port))
                code = ExitFinished;
            else
                pauseMs = InducePauseMs;
            break;
        }
        if (code >= 0)
            break;
        if (signals.Wait(deadline.WaitMs(pauseMs)) == RunSignals::Event::Signal)
            code = ExitCancelled;
        else if (deadline.Passed())
            code = ExitTimedOut;
        else if (port->HasFailed())
            code = ExitFailed;
    }

    // The window sends this on its console port after the dialog, whatever came of it.
    const uint8_t quiet[] = {'q', ';'};
    port->Write(quiet, sizeof quiet, false);
    port->WaitUntilSent(SendSliceMs);
    port.reset();

    shown.EndLine();
    const std::string text = code == ExitFinished ? "Bootloader entered!" : "Bootloader not entered!";
    const char* outcome = code == ExitFinished    ? "entered"
                          : code == ExitCancelled ? "cancelled"
                          : code == ExitTimedOut  ? "timeout"
                                                  : "failed";
    if (code == ExitFailed)
        Say(messages, "vennix-cli: the connection to " + portName + " was lost.");
    if (request.json)
        JsonLine::Write(results, {{"target", request.port}, {"event", "result"}, {"outcome", outcome}, {"text", text}});
    else
        Say(results, text);
    return code;
}

int ConsoleCommands::Send(const CliRequest& request, RunSignals& signals, std::FILE* messages)
{
    std::string portName;
    std::shared_ptr<SerialPort> port = OpenNamed(request.port, request.baudRate, request.format, messages, portName);
    if (!port)
        return ExitUsage;
    const std::vector<uint8_t> bytes = EscapedString::Parse(request.text);
    const auto lineTime = std::chrono::milliseconds(static_cast<int64_t>(bytes.size()) * 10 * 1000 /
                                                    static_cast<int64_t>(request.baudRate));
    const auto end = Clock::now() + lineTime + SendSlack;

    for (size_t at = 0; at < bytes.size();) {
        const size_t count = std::min(SendChunk, bytes.size() - at);
        port->Write(bytes.data() + at, static_cast<uint32_t>(count), false);
        at += count;
        while (!port->WaitUntilSent(SendSliceMs)) {
            if (port->HasFailed() || Clock::now() > end) {
                port->AbortWrite();
                Say(messages, "vennix-cli: " + portName + " did not take the text (" +
                                  (port->HasFailed() ? "the connection was lost" : "the line is held") + ").");
                return ExitFailed;
            }
            if (signals.Wait(0) == RunSignals::Event::Signal) {
                port->AbortWrite();
                return ExitCancelled;
            }
        }
    }
    if (port->HasFailed()) {
        Say(messages, "vennix-cli: the connection to " + portName + " was lost.");
        return ExitFailed;
    }
    Say(messages, "Sent " + std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte" : " bytes") + " to " +
                      portName + ".");
    return ExitFinished;
}

int ConsoleCommands::Monitor(const CliRequest& request, RunSignals& signals, std::FILE* messages, std::FILE* results)
{
    std::string portName;
    std::shared_ptr<SerialPort> port = OpenNamed(request.port, request.baudRate, request.format, messages, portName);
    if (!port)
        return ExitUsage;
    WakeOnReceive wake(signals);
    // The lock is only ever tried; when it is busy the periodic look below reads instead.
    port->SetNotifyWindow(&wake, NotifyReceived);
    Say(messages, "Listening on " + portName + "; Ctrl-C ends.");

    ConsoleText shown(results, ::isatty(fileno(results)));
    const Deadline deadline(request.timeoutSeconds);
    int code = -1;
    uint8_t buffer[ReadChunk];
    while (code < 0) {
        // Re-armed before reading, so bytes that arrive meanwhile post again.
        port->SetNotifications(NotifyReceived, 1);
        for (int count; (count = port->Read(buffer, ReadChunk, 0)) > 0;) {
            if (request.raw) {
                std::fwrite(buffer, 1, static_cast<size_t>(count), results);
                std::fflush(results);
            } else {
                shown.Append(buffer, count);
            }
        }
        if (port->HasFailed()) {
            code = ExitFailed;
            break;
        }
        if (deadline.Passed()) {
            code = ExitFinished; // listening for the time asked is the normal end
            break;
        }
        if (signals.Wait(deadline.WaitMs(DeviceCheckMs)) == RunSignals::Event::Signal)
            code = ExitCancelled;
    }
    port->SetNotifyWindow(nullptr, 0);
    port.reset();
    if (!request.raw)
        shown.EndLine();
    if (code == ExitFailed)
        Say(messages, "vennix-cli: the connection to " + portName + " was lost.");
    return code;
}
