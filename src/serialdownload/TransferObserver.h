#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What a download worker tells about the file on its way, for the record of the
// download: the bytes it read to send, how many of them went out, and the line
// it used. Called on the worker's thread; the worker shares the observer's
// ownership, so it may outlive whoever handed it over.
class TransferObserver {
public:
    virtual ~TransferObserver() = default;
    // Bytes read from the file to be sent, in file order.
    virtual void FileRead(const uint8_t* data, size_t length) = 0;
    // Bytes of the file that went out: drained onto the serial line, or
    // acknowledged by the unit.
    virtual void FileSent(size_t length) = 0;
    // The serial line the file is sent over, once its flow control is set:
    // rate, data format ("8n1") and the flow control's name ("Xon/Xoff").
    virtual void LineUsed(uint32_t baudRate, const std::string& format, const std::string& flowControl) = 0;
};
