#pragma once

#include <string>

// Texts about the serial line that more than one part of the program shows, so
// that the operator reads the same words wherever the line fails.
class SerialMessages {
public:
    // The adapter was pulled, or the far end closed the line.
    static std::string ConnectionLost(int portNumber);
    // The same for a port named otherwise ("COM70", "rfc2217://10.0.0.5:4001").
    static std::string ConnectionLost(const std::string& portName);
    // A reset into the bootloader left the port closed: it could not be opened
    // again at the bootloader's settings.
    static std::string NotReopened(int portNumber);
};
