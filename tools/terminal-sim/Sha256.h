#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 in lower-case hex, as sha256sum prints it, so that a person can
// compare what the unit received with the file on disk.
class Sha256 {
public:
    static std::string Hex(const uint8_t* data, size_t length);
};
