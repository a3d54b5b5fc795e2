#include "SerialDownloadWorker.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <utility>

#include "FrameCrc16.h"
#include "FirmwareFrame.h"
#include "LoaderDialogue.h"
#include "LoaderProtocol.h"
#include "ProgressMeter.h"
#include "SerialMessages.h"

namespace {

constexpr uint32_t AllNotifications = NotifyReceived | NotifySent;

const char* const CancelledText = "User cancelled the program.";
const char* const FinishedText = "Download is finished.";
const char* const NoFlowControlText =
    "Unable to determine the flow control setting that the terminal is using.  Please reset the "
    "terminal and try again.";
const char* const NotInBootloaderText =
    "The terminal is not in the bootloader.  Please use the 'Induce Bootloader' function and cycle "
    "power to the terminal, in order to enter the bootloader.";
const char* const ConfigureTerminalText = "Please configure the terminal to receive an application";
const char* const NoPortText = "No serial port is open for the download.  Please open the serial port and try again.";

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

// "8n1": data bits, parity letter, stop bits, as the data format lists write it.
std::string DataFormatName(const SerialLineSettings& line)
{
    static const char ParityLetters[] = "noems";
    const char parity = line.parity >= 0 && line.parity <= 4 ? ParityLetters[line.parity] : '?';
    const char* stop = line.stopBits == OneAndHalfStopBits ? "1.5" : line.stopBits == TwoStopBits ? "2" : "1";
    return std::to_string(line.byteSize) + parity + stop;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

} // namespace

SerialDownloadWorker::SerialDownloadWorker(SerialDownloadParams params) : params(std::move(params)) {}

int SerialDownloadWorker::Run()
{
    if (params.reporter == nullptr) {
        // Nowhere to report to: nothing may be started that no one can stop.
        if (params.running)
            params.running->store(0, std::memory_order_release);
        return 1;
    }
    std::string finalText;
    if (!params.port) {
        finalText = NoPortText;
    } else {
        SerialPort& port = *params.port;
        // The replies are this thread's until the transfer starts.
        port.SetNotifications(AllNotifications, 0);
        notificationsDisarmed = true;
        port.FlushReceived();
        params.reporter->ShowStatus(Format("Please prepare terminal for download on %s", port.PortName().c_str()));

        LoaderDialogue dialogue(params.port);
        FlowControl type = FlowControl::None;
        if (Converse(dialogue, type, finalText))
            finalText = Transfer(type);
    }
    End(finalText);
    return 1;
}

bool SerialDownloadWorker::Converse(LoaderDialogue& dialogue, FlowControl& type, std::string& outcome)
{
    SerialPort& port = *params.port;
    DownloadReporter& reporter = *params.reporter;
    type = FlowControl::None;

    for (int pass = 1;; ++pass) {
        bool bootloader = false;
        while (!dialogue.QueryLoader(bootloader)) {
            if (dialogue.ReopenFailed()) {
                outcome = Format("Unable to open %s again at 115200 baud after resetting the terminal.  "
                                 "Please check that the serial adapter is plugged in and that no other "
                                 "program is using the port.",
                                 port.PortName().c_str());
                return false;
            }
            Pause();
            if (port.HasFailed()) {
                outcome = LostText();
                return false;
            }
            if (reporter.IsCancelled()) {
                outcome = CancelledText;
                return false;
            }
        }
        Pause();
        if (reporter.IsCancelled()) {
            outcome = CancelledText;
            return false;
        }

        if (bootloader) {
            if (params.kind == Firmware)
                return true;
            if (!dialogue.StartApploader())
                reporter.ShowStatus(ConfigureTerminalText);
            continue;
        }

        bool askFlowControl = params.kind != Firmware;
        if (!askFlowControl) {
            float version = 0.0f;
            askFlowControl = dialogue.QueryFirmwareVersion(version) &&
                             version >= LoaderProtocol::FrameCapableVersion;
        }

        if (askFlowControl) {
            for (int query = 0; query < FlowQueriesPerPass; ++query) {
                if (dialogue.QueryFlowControl(type))
                    return true;
            }
            type = FlowControl::None;
            if (port.HasFailed()) {
                outcome = LostText();
                return false;
            }
            if (pass >= PassesBeforeGivingUp) {
                outcome = NoFlowControlText;
                return false;
            }
            continue;
        }

        if (dialogue.ResetToBootloader())
            continue;
        if (dialogue.ReopenFailed())
            continue; // the poll above says why
        if (port.HasFailed()) {
            outcome = LostText();
            return false;
        }
        if (pass >= PassesBeforeGivingUp) {
            outcome = NotInBootloaderText;
            return false;
        }
    }
}

std::string SerialDownloadWorker::Transfer(FlowControl type)
{
    SerialPort& port = *params.port;
    DownloadReporter& reporter = *params.reporter;
    const bool firmware = params.kind == Firmware;

    port.SetNotifications(AllNotifications, 1);
    notificationsDisarmed = false;
    reporter.ShowStatus(Format("Downloading using %s flow control", LoaderProtocol::FlowControlName(type)));
    if (!port.SetFlowControl(type)) {
        if (port.HasFailed())
            return LostText();
        // Sending with the wrong flow control would corrupt the file on the terminal.
        return Format("Unable to switch %s to %s flow control.  Please check the serial port and try again.",
                      port.PortName().c_str(), LoaderProtocol::FlowControlName(type));
    }
    if (params.observer) {
        // A reset into the bootloader reopened the port at its own rate: what was
        // applied is what the file travels over.
        const SerialLineSettings line = port.AppliedLine();
        params.observer->LineUsed(line.baudRate, DataFormatName(line), LoaderProtocol::FlowControlName(type));
    }

    const std::string openFailedText =
        Format("Unable to open file.  Please verify the file\n \"%s\" exists.", params.path.c_str());
    FilePointer file(std::fopen(params.path.c_str(), "rbe"));
    struct stat status {};
    if (!file || fstat(fileno(file.get()), &status) != 0 || !S_ISREG(status.st_mode))
        return openFailedText;

    Pause();
    if (reporter.IsCancelled())
        return CancelledText;

    const int64_t size = status.st_size;
    if (size > MaxDownloadFileSize)
        return TooLargeMessage(params.path, size);

    if (firmware) {
        const auto header = FirmwareFrame::Header(static_cast<uint32_t>(size));
        port.Write(header.data(), header.size(), false);
    }

    FrameCrc16 crc;
    ProgressMeter meter(size);
    std::array<uint8_t, BlockSize> block{};
    // The length is already on the wire: send exactly that many bytes, even if the
    // file changes under us.
    for (int64_t remaining = size; remaining > 0;) {
        const size_t wanted = static_cast<size_t>(std::min<int64_t>(remaining, BlockSize));
        const size_t n = std::fread(block.data(), 1, wanted, file.get());
        if (n == 0)
            return Format("Unable to read file.  Please verify the file\n \"%s\" is not being changed.",
                          params.path.c_str());
        if (params.observer)
            params.observer->FileRead(block.data(), n);
        // Queued without waiting (a block always fits the empty ring), then drained
        // in slices so that Cancel and a vanished device are seen while it leaves.
        port.Write(block.data(), static_cast<uint32_t>(n), false);
        const Drain drain = WaitForDrain();
        if (drain == Drain::Lost)
            return LostText();
        if (firmware)
            crc.Update(block.data(), n);
        if (drain == Drain::Sent && params.observer)
            params.observer->FileSent(n);
        if (drain == Drain::Cancelled || reporter.IsCancelled())
            return CancelledText;
        const int percent = meter.Advance(static_cast<int64_t>(n));
        if (percent >= 0)
            reporter.SetProgress(percent);
        remaining -= static_cast<int64_t>(n);
    }

    if (firmware) {
        const auto trailer = FirmwareFrame::Trailer(crc.Value());
        port.Write(trailer.data(), trailer.size(), false);
        // Only a frame that has left completely is a finished download.
        const Drain drain = WaitForDrain();
        if (drain == Drain::Lost)
            return LostText();
        if (drain == Drain::Cancelled)
            return CancelledText;
    }
    reporter.SetProgress(100);
    return FinishedText;
}

SerialDownloadWorker::Drain SerialDownloadWorker::WaitForDrain()
{
    SerialPort& port = *params.port;
    for (;;) {
        const bool drained = port.WaitUntilSent(DrainSliceMs);
        if (port.HasFailed()) {
            port.AbortWrite();
            return Drain::Lost;
        }
        if (drained)
            return Drain::Sent;
        if (params.reporter->IsCancelled()) {
            // Drops what flow control still holds back, so nothing more is written.
            port.AbortWrite();
            return Drain::Cancelled;
        }
    }
}

void SerialDownloadWorker::Pause() const
{
    std::this_thread::sleep_for(std::chrono::milliseconds(PollPauseMs));
}

std::string SerialDownloadWorker::LostText() const
{
    return SerialMessages::ConnectionLost(params.port->PortName());
}

void SerialDownloadWorker::End(const std::string& finalText)
{
    // A download that ended before its transfer gives the console its display back.
    if (params.port && notificationsDisarmed)
        params.port->SetNotifications(AllNotifications, 1);
    params.reporter->ShowStatus(finalText);
    if (params.running)
        params.running->store(0, std::memory_order_release);
    params.reporter->Finish();
}
