#include "Sha256Digest.h"

#include <nettle/sha2.h>

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
    return LowerHex(digest, sizeof digest);
}
