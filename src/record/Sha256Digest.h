#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// SHA-256 over bytes fed in pieces, in lower-case hex as sha256sum prints it, so
// that a person can check a record against the file on disk. nettle on Linux,
// the system's CNG (BCrypt) on Windows.
class Sha256Digest {
public:
    Sha256Digest();
    ~Sha256Digest();
    Sha256Digest(const Sha256Digest&) = delete;
    Sha256Digest& operator=(const Sha256Digest&) = delete;

    void Update(const uint8_t* data, size_t length);
    // The digest of everything fed so far; more may be fed afterwards. Empty
    // should the platform's hash provider be missing.
    std::string Hex() const;

    static std::string HexOf(const uint8_t* data, size_t length);

private:
    static std::string LowerHex(const uint8_t* bytes, size_t length);

    struct State;
    std::unique_ptr<State> state;
};
