// vennix-terminal-sim: a stand-in for the operator terminal, to run beside
// Vennix. Serial side on a pseudo-terminal published as a COM alias; TFTP
// server on UDP.

#include "Sha256.h"
#include "SimulatorCommandLine.h"
#include "TerminalSimulator.h"
#include "TftpServer.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::mutex printMutex;
std::chrono::steady_clock::time_point startTime = std::chrono::steady_clock::now();

void Say(const std::string& text)
{
    std::lock_guard lock(printMutex);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count();
    std::printf("[%8.3f] %s\n", seconds, text.c_str());
    std::fflush(stdout);
}

std::string HexBytes(const std::vector<uint8_t>& bytes, size_t count)
{
    static const char Digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += Digits[byte >> 4];
        text += Digits[byte & 15];
    }
    if (count > bytes.size())
        text += " ... (" + std::to_string(count) + " bytes)";
    return text;
}

std::string Printable(const std::vector<uint8_t>& bytes)
{
    std::string text;
    for (uint8_t byte : bytes)
        text += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
    return text;
}

bool WriteReadyFile(const std::string& path, const std::string& comName)
{
    // Written aside and renamed, so a watcher never reads half a name.
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << comName << "\n";
        if (!out.good())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

void SaveImage(const std::string& folder, size_t number, const ReceivedImage& image)
{
    std::string path = folder + "/received-" + std::to_string(number) + ".bin";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.bytes.data()), static_cast<std::streamsize>(image.bytes.size()));
    Say(out.good() ? "  saved as " + path : "  could not save " + path);
}

class EventPrinter {
public:
    EventPrinter(TerminalSimulator& simulator, const SimulatorOptions& options) : simulator(simulator), options(options) {}

    void operator()(const TerminalEvent& event)
    {
        using Kind = TerminalEvent::Kind;
        switch (event.kind) {
        case Kind::Received:
            if (options.verbose)
                Say("read  " + HexBytes(event.bytes, event.count) + "  |" + Printable(event.bytes) + "|");
            break;
        case Kind::Sent:
            Say("sent  " + HexBytes(event.bytes, event.count) + "  |" + Printable(event.bytes) + "|");
            break;
        case Kind::Command:
            Say("command " + event.text);
            break;
        case Kind::Ignored:
            Say("ignored: " + event.text);
            break;
        case Kind::LoaderChanged:
            Say("terminal is now: " + event.text);
            break;
        case Kind::ImageStarted:
            Say("receiving " + event.text + "...");
            break;
        case Kind::ImageReceived: {
            std::vector<ReceivedImage> images = simulator.Images();
            if (images.size() <= imagesShown)
                break;
            const ReceivedImage& image = images[imagesShown++];
            Say(std::string(image.kind == ReceivedImage::Kind::Firmware ? "firmware " : "application ") +
                (image.accepted ? "ACCEPTED: " : "REFUSED: ") + image.verdict);
            Say("  " + std::to_string(image.bytes.size()) + " bytes, " + std::to_string(image.lineBytes) +
                " on the line" + (image.escaped ? " (escaped)" : "") +
                ", SHA-256 " + Sha256::Hex(image.bytes.data(), image.bytes.size()));
            if (!options.saveDir.empty())
                SaveImage(options.saveDir, imagesShown, image);
            break;
        }
        case Kind::LineControl:
            Say("line: " + event.text);
            break;
        case Kind::Unplugged:
            Say("the serial line was unplugged (the COM name is gone); SIGUSR2 plugs it in again");
            break;
        }
    }

private:
    TerminalSimulator& simulator;
    const SimulatorOptions& options;
    size_t imagesShown = 0;
};

} // namespace

int main(int argc, char** argv)
{
    SimulatorOptions options;
    std::string message;
    switch (SimulatorCommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc), options, &message)) {
    case SimulatorCommandLine::Outcome::Help:
        std::cout << message;
        return 0;
    case SimulatorCommandLine::Outcome::Usage:
        std::cerr << "vennix-terminal-sim: " << message << " (see --help)\n";
        return 2;
    case SimulatorCommandLine::Outcome::Run:
        break;
    }

    // Signals are taken by sigwait below; blocked before any thread starts, so
    // no other thread is interrupted by them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigaddset(&signals, SIGUSR1);
    sigaddset(&signals, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    TerminalSimulator simulator(options.terminal);
    EventPrinter printer(simulator, options);
    simulator.SetEventSink([&printer](const TerminalEvent& event) { printer(event); });
    std::string error;
    if (!simulator.Start(&error)) {
        std::cerr << "vennix-terminal-sim: cannot start the serial side: " << error << "\n";
        return 1;
    }

    TftpServer tftp(options.tftp, [](const std::string& line) { Say("tftp: " + line); });
    if (options.tftpEnabled) {
        std::string tftpError;
        if (tftp.Start(&tftpError))
            Say("TFTP server listening on " + options.tftp.address + " port " + std::to_string(tftp.BoundPort()));
        else
            Say("TFTP server not running: " + tftpError + " (the serial side runs on)");
    }

    Say("Serial terminal ready: pick " + simulator.ComName() + " in Vennix (" + simulator.AliasPath() + " -> " +
        simulator.SlavePath() + "); the terminal is running: " + TerminalLoaderName(simulator.CurrentLoader()));
    if (!options.readyFile.empty() && !WriteReadyFile(options.readyFile, simulator.ComName()))
        Say("could not write the ready file " + options.readyFile);

    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0)
            continue;
        if (signal == SIGUSR1) {
            Say("cycling power");
            simulator.PowerCycle();
            continue;
        }
        if (signal == SIGUSR2) {
            if (simulator.CurrentLoader() == TerminalLoader::Unplugged) {
                Say("plugging the cable in again");
                simulator.Replug();
            } else {
                Say("pulling the cable");
                simulator.Unplug();
            }
            continue;
        }
        Say("stopping");
        break;
    }
    tftp.Stop();
    simulator.Stop();
    if (!options.readyFile.empty())
        unlink(options.readyFile.c_str());
    Say("stopped; " + std::to_string(simulator.Images().size()) + " file(s) received");
    return 0;
}
