#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "DownloadRecord.h"
#include "RecordWriter.h"

class TransferObserver;
class TransferTally;

// The record of a window's downloads, one at a time: what is known at the start
// (file, transport, target, line), what the worker tells as it reads and sends,
// and how it ended. The record is written on the writer's own thread, so
// neither Begin nor End waits for the disk.
class DownloadRecorder {
public:
    // writer may be null: nothing is then recorded.
    DownloadRecorder(std::unique_ptr<RecordWriter> writer, std::string program, std::string version);
    ~DownloadRecorder();

    struct FileFacts {
        std::string path;
        int64_t size = 0;
        bool firmware = false;
    };

    // At the start of a download. The observer goes to the job; null when
    // nothing is recorded.
    std::shared_ptr<TransferObserver> BeginSerial(const FileFacts& file, int comNumber, const std::string& device,
                                                  uint32_t baudRate, const std::string& format);
    std::shared_ptr<TransferObserver> BeginEthernet(const FileFacts& file, const std::string& address,
                                                    uint16_t udpPort);
    // At the worker's Finish, with its final text and whether the operator had
    // asked to cancel. Records the download begun last, once.
    void End(const std::string& finalText, bool cancelRequested);

    // Null when nothing is recorded. Tests wait on it until a record is written.
    RecordWriter* Writer() const { return writer.get(); }

    static RecordOutcome OutcomeOf(const std::string& finalText, bool cancelRequested);

private:
    std::shared_ptr<TransferObserver> Begin(const FileFacts& file);

    std::unique_ptr<RecordWriter> writer;
    const std::string program;
    const std::string version;
    bool open = false;
    DownloadRecord draft;
    std::shared_ptr<TransferTally> tally;
};
