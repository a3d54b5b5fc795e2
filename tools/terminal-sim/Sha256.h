#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256, so that a person can compare what the unit received with the file
// on disk (sha256sum) without the core carrying a crypto library.
class Sha256 {
public:
    Sha256();
    void Add(const uint8_t* data, size_t length);
    std::array<uint8_t, 32> Finish(); // the object is spent afterwards

    static std::string Hex(const uint8_t* data, size_t length);

private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> h;
    uint8_t pending[64];
    size_t pendingCount = 0;
    uint64_t totalBytes = 0;
};
