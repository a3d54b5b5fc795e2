#include "Sha256Digest.h"

// What both platforms' digests share; the hashing itself is in
// Sha256DigestNettle.cpp and Sha256DigestWin32.cpp.

std::string Sha256Digest::HexOf(const uint8_t* data, size_t length)
{
    Sha256Digest digest;
    digest.Update(data, length);
    return digest.Hex();
}

std::string Sha256Digest::LowerHex(const uint8_t* bytes, size_t length)
{
    static const char Digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * length);
    for (size_t i = 0; i < length; ++i) {
        text += Digits[bytes[i] >> 4];
        text += Digits[bytes[i] & 15];
    }
    return text;
}
