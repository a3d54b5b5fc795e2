#pragma once

#include <string>

// How a download worker reports. Every call comes from the worker thread; the
// implementation carries it out on the user-interface thread before returning.
class DownloadReporter {
public:
    virtual ~DownloadReporter() = default;
    virtual void SetProgress(int percent) = 0;
    virtual bool IsCancelled() = 0;
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void Finish() = 0;
};
