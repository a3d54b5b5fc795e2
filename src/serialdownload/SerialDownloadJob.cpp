#include "SerialDownloadJob.h"

#include <system_error>
#include <thread>
#include <utility>

#include "SerialDownloadWorker.h"

SerialDownloadJob::SerialDownloadJob(std::string path, DownloadFileKind kind, std::shared_ptr<SerialPort> port,
                                     DownloadReporter* reporter, std::shared_ptr<TransferObserver> observer)
    : path(std::move(path)), kind(kind), port(std::move(port)), reporter(reporter), observer(std::move(observer)),
      running(std::make_shared<std::atomic<int>>(0))
{
}

bool SerialDownloadJob::Start()
{
    // Raised before the thread exists, so a worker that ends at once cannot have its
    // clearing overwritten.
    int idle = 0;
    if (!running->compare_exchange_strong(idle, 1, std::memory_order_acq_rel))
        return false;
    SerialDownloadWorker worker(SerialDownloadParams{path, kind, port, reporter, running, observer});
    try {
        std::thread([worker = std::move(worker)]() mutable { worker.Run(); }).detach();
    } catch (const std::system_error&) {
        // The only way std::thread reports that no thread could be created.
        running->store(0, std::memory_order_release);
        return false;
    }
    return true;
}

bool SerialDownloadJob::IsRunning() const
{
    return running->load(std::memory_order_acquire) != 0;
}
