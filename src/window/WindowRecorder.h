#pragma once

#include "DownloadRecorder.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class NotifyTarget;

// The window's downloads in the user's download log. Each record is written
// on a thread of its own, so the window's thread never waits for the disk; a
// record that could not be written comes back as NotWrittenMessage through the
// window's notify target, its reason kept for TakeFailures.
class WindowRecorder {
public:
    // Posted like a serial port's notifications (WM_SERIAL_*), after them in
    // the same range of message numbers.
    static constexpr uint32_t NotWrittenMessage = 1290;

    // notifyTarget may be null (the failures then wait unannounced) and must
    // outlive this: the last records are written while it is destroyed.
    WindowRecorder(NotifyTarget* notifyTarget, const std::string& logPath, const std::string& program,
                   const std::string& version);

    DownloadRecorder& Downloads() { return recorder; }
    const std::string& LogPath() const { return recorder.Writer()->Log().Path(); }

    // The reasons of the records not written since the last call. Any thread.
    std::vector<std::string> TakeFailures();
    // Waits until every record handed over so far is written or given up.
    void WaitUntilWritten() { recorder.Writer()->WaitUntilIdle(); }

private:
    NotifyTarget* const notifyTarget;
    std::mutex mutex;
    std::vector<std::string> failures;
    // Last: its writer's thread reports into what is above until it has ended.
    DownloadRecorder recorder;
};
