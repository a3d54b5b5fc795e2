#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "DownloadLog.h"
#include "DownloadRecord.h"

// Appends records to a log on a thread of its own, so that a window's thread
// hands a record over and goes on at once: the lock, the write and the flush
// to disk (and a lock another program holds for a while) happen here.
class RecordWriter {
public:
    // Called on the writer's thread with the reason a record could not be
    // written; it must hand the message to its own thread and return.
    using FailureHandler = std::function<void(const std::string& reason)>;

    RecordWriter(DownloadLog log, FailureHandler onFailure);
    // Writes what is still queued (each bounded by the log's lock wait), then
    // ends the thread.
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // Queues the record and returns without waiting.
    void Post(DownloadRecord record);
    // Waits until every record posted so far has been written or given up.
    void WaitUntilIdle();

    const DownloadLog& Log() const { return log; }

private:
    void Run();

    const DownloadLog log;
    const FailureHandler onFailure;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<DownloadRecord> queue;
    bool busy = false;
    bool stopping = false;
    std::thread thread; // last: starts once everything above exists
};
