#include "RecordWriter.h"

#include <utility>

RecordWriter::RecordWriter(DownloadLog log, FailureHandler onFailure)
    : log(std::move(log)), onFailure(std::move(onFailure)), thread([this] { Run(); })
{
}

RecordWriter::~RecordWriter()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    thread.join();
}

void RecordWriter::Post(DownloadRecord record)
{
    {
        std::lock_guard lock(mutex);
        queue.push_back(std::move(record));
    }
    changed.notify_all();
}

void RecordWriter::WaitUntilIdle()
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return queue.empty() && !busy; });
}

void RecordWriter::Run()
{
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || !queue.empty(); });
        if (queue.empty())
            return; // stopping, and nothing left to write
        DownloadRecord record = std::move(queue.front());
        queue.pop_front();
        busy = true;
        lock.unlock();
        std::string reason;
        const bool written = log.Append(record, &reason);
        if (!written && onFailure)
            onFailure(reason);
        lock.lock();
        busy = false;
        changed.notify_all();
    }
}
