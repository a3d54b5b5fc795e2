#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "DownloadFile.h"
#include "DownloadReporter.h"
#include "SerialPort.h"
#include "TransferObserver.h"

// The parameters of one serial download and its running flag. Start hands a copy
// of the parameters to a detached worker thread, so the record may be destroyed
// while the worker runs; the running flag lives in shared state for the same reason.
class SerialDownloadJob {
public:
    // reporter must outlive the worker (it is the window's long-lived reporter).
    // observer, when given, hears of the file's bytes for the download's record.
    SerialDownloadJob(std::string path, DownloadFileKind kind, std::shared_ptr<SerialPort> port,
                      DownloadReporter* reporter, std::shared_ptr<TransferObserver> observer = nullptr);

    // Starts the worker; false when it already runs or the thread cannot be created.
    bool Start();
    // True from Start until the worker clears it just before Finish.
    bool IsRunning() const;

private:
    std::string path;
    DownloadFileKind kind;
    std::shared_ptr<SerialPort> port;
    DownloadReporter* reporter;
    std::shared_ptr<TransferObserver> observer;
    std::shared_ptr<std::atomic<int>> running;
};
