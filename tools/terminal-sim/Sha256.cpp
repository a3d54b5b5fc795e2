#include "Sha256.h"

#include <nettle/sha2.h>

std::string Sha256::Hex(const uint8_t* data, size_t length)
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, length, data);
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);

    static const char Digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * sizeof digest);
    for (uint8_t byte : digest) {
        text += Digits[byte >> 4];
        text += Digits[byte & 15];
    }
    return text;
}
