#include "Sha256Digest.h"

#include <nettle/sha2.h>

namespace {

std::string ToHex(const uint8_t* bytes, size_t length)
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

} // namespace

struct Sha256Digest::State {
    sha256_ctx context;
};

Sha256Digest::Sha256Digest() : state(std::make_unique<State>())
{
    sha256_init(&state->context);
}

Sha256Digest::~Sha256Digest() = default;

void Sha256Digest::Update(const uint8_t* data, size_t length)
{
    sha256_update(&state->context, length, data);
}

std::string Sha256Digest::Hex() const
{
    // nettle's digest call resets the context it finishes: finish a copy.
    sha256_ctx finished = state->context;
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&finished, sizeof digest, digest);
    return ToHex(digest, sizeof digest);
}

std::string Sha256Digest::HexOf(const uint8_t* data, size_t length)
{
    Sha256Digest digest;
    digest.Update(data, length);
    return digest.Hex();
}
