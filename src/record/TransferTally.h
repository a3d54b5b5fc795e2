#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "Sha256Digest.h"
#include "TransferObserver.h"

class DownloadRecord;

// Counts and digests what a download worker reads and sends, for its record.
// The worker feeds it on its thread; the record is filled in on another, so
// every call takes the one lock (one per block: nothing to notice).
class TransferTally : public TransferObserver {
public:
    void FileRead(const uint8_t* data, size_t length) override;
    void FileSent(size_t length) override;
    void LineUsed(uint32_t baudRate, const std::string& format, const std::string& flowControl) override;

    // Copies the digest, the counts and the line into the record.
    void FillIn(DownloadRecord& record) const;

private:
    mutable std::mutex mutex;
    Sha256Digest digest;
    int64_t bytesRead = 0;
    int64_t bytesSent = 0;
    uint32_t baudRate = 0;
    std::string format;
    std::string flowControl;
};
