#include "TransferTally.h"

#include "DownloadRecord.h"

void TransferTally::FileRead(const uint8_t* data, size_t length)
{
    std::lock_guard lock(mutex);
    digest.Update(data, length);
    bytesRead += static_cast<int64_t>(length);
}

void TransferTally::FileSent(size_t length)
{
    std::lock_guard lock(mutex);
    bytesSent += static_cast<int64_t>(length);
}

void TransferTally::LineUsed(uint32_t rate, const std::string& dataFormat, const std::string& flow)
{
    std::lock_guard lock(mutex);
    baudRate = rate;
    format = dataFormat;
    flowControl = flow;
}

void TransferTally::FillIn(DownloadRecord& record) const
{
    std::lock_guard lock(mutex);
    record.sha256 = digest.Hex();
    record.bytesRead = bytesRead;
    record.bytesSent = bytesSent;
    if (baudRate != 0) {
        record.baudRate = baudRate;
        record.format = format;
        record.flowControl = flowControl;
    }
}
