#include "DownloadRecorder.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "TransferTally.h"

namespace {

const char* const FinishedText = "Download is finished.";

} // namespace

DownloadRecorder::DownloadRecorder(std::unique_ptr<RecordWriter> writer, std::string program, std::string version)
    : writer(std::move(writer)), program(std::move(program)), version(std::move(version))
{
}

DownloadRecorder::~DownloadRecorder() = default;

RecordOutcome DownloadRecorder::OutcomeOf(const std::string& finalText, bool cancelRequested)
{
    if (finalText == FinishedText)
        return RecordOutcome::Finished;
    return cancelRequested ? RecordOutcome::Cancelled : RecordOutcome::Failed;
}

std::shared_ptr<TransferObserver> DownloadRecorder::Begin(const FileFacts& file)
{
    open = false;
    if (!writer)
        return nullptr;
    draft = DownloadRecord();
    draft.Begin(program, version);
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(file.path, error);
    draft.filePath = error ? file.path : absolute.lexically_normal().string();
    draft.fileName = std::filesystem::path(file.path).filename().string();
    draft.fileSize = file.size;
    draft.fileKind = file.firmware ? "firmware" : "application";
    tally = std::make_shared<TransferTally>();
    open = true;
    return tally;
}

std::shared_ptr<TransferObserver> DownloadRecorder::BeginSerial(const FileFacts& file, int comNumber,
                                                                const std::string& device, uint32_t baudRate,
                                                                const std::string& format)
{
    auto observer = Begin(file);
    if (!open)
        return observer;
    draft.transport = "serial";
    draft.port = "COM" + std::to_string(comNumber);
    draft.target = draft.port;
    draft.device = device;
    draft.baudRate = baudRate;
    draft.format = format;
    return observer;
}

std::shared_ptr<TransferObserver> DownloadRecorder::BeginEthernet(const FileFacts& file, const std::string& address,
                                                                  uint16_t udpPort)
{
    auto observer = Begin(file);
    if (!open)
        return observer;
    draft.transport = "ethernet";
    draft.address = address;
    draft.udpPort = udpPort;
    draft.target = address;
    return observer;
}

void DownloadRecorder::End(const std::string& finalText, bool cancelRequested)
{
    if (!open)
        return;
    open = false;
    draft.end = std::chrono::system_clock::now();
    draft.outcome = OutcomeOf(finalText, cancelRequested);
    draft.finalText = finalText;
    tally->FillIn(draft);
    tally.reset();
    writer->Post(std::move(draft));
}
