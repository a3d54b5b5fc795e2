#include "WindowRecorder.h"

#include "DownloadLog.h"
#include "NotifyTarget.h"
#include "RecordWriter.h"

#include <memory>
#include <utility>

WindowRecorder::WindowRecorder(NotifyTarget* notifyTarget, const std::string& logPath, const std::string& program,
                               const std::string& version)
    : notifyTarget(notifyTarget),
      recorder(std::make_unique<RecordWriter>(DownloadLog(logPath),
                                              [this](const std::string& reason) {
                                                  {
                                                      std::lock_guard lock(mutex);
                                                      failures.push_back(reason);
                                                  }
                                                  if (this->notifyTarget != nullptr)
                                                      this->notifyTarget->Post(NotWrittenMessage);
                                              }),
               program, version)
{
}

std::vector<std::string> WindowRecorder::TakeFailures()
{
    std::lock_guard lock(mutex);
    return std::exchange(failures, {});
}
