#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One file the simulated unit received, kept for comparison with what was sent.
struct ReceivedImage {
    enum class Kind { Firmware, Application };

    Kind kind = Kind::Application;
    bool accepted = false;  // firmware: length, complement and CRC right; application: always
    std::string verdict;    // in words: "frame accepted", "CRC mismatch: ...", ...
    std::vector<uint8_t> bytes; // the file's bytes (frame payload, escaping undone)
    bool escaped = false;   // the line carried XON/XOFF escaping
    size_t escapeErrors = 0; // 0xBF followed by a byte that is no escape
    size_t lineBytes = 0;   // bytes on the line for this image, before unescaping

    // Firmware frames only.
    bool headerComplete = false;
    uint32_t declaredLength = 0;
    uint32_t declaredComplement = 0;
    uint16_t frameCrc = 0;    // as sent after the data
    uint16_t computedCrc = 0; // over the data received
};
