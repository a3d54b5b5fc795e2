#include "Sha256Digest.h"

#include <windows.h>
#include <bcrypt.h>

#include <vector>

namespace {

constexpr ULONG DigestSize = 32;

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}

} // namespace

struct Sha256Digest::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    // BCrypt keeps the hash state in memory the caller gives it.
    std::vector<UCHAR> object;

    ~State()
    {
        if (hash != nullptr)
            ::BCryptDestroyHash(hash);
        if (algorithm != nullptr)
            ::BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

Sha256Digest::Sha256Digest() : state(std::make_unique<State>())
{
    if (!Succeeded(::BCryptOpenAlgorithmProvider(&state->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        state->algorithm = nullptr;
        return;
    }
    DWORD objectSize = 0;
    ULONG written = 0;
    if (!Succeeded(::BCryptGetProperty(state->algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectSize),
                                       sizeof objectSize, &written, 0)))
        return;
    state->object.resize(objectSize);
    if (!Succeeded(::BCryptCreateHash(state->algorithm, &state->hash, state->object.data(), objectSize, nullptr, 0,
                                      0)))
        state->hash = nullptr;
}

Sha256Digest::~Sha256Digest() = default;

void Sha256Digest::Update(const uint8_t* data, size_t length)
{
    if (state->hash == nullptr)
        return;
    // BCryptHashData takes a 32-bit length.
    while (length > 0) {
        const ULONG piece = length > 0x40000000 ? 0x40000000 : static_cast<ULONG>(length);
        ::BCryptHashData(state->hash, const_cast<PUCHAR>(data), piece, 0);
        data += piece;
        length -= piece;
    }
}

std::string Sha256Digest::Hex() const
{
    if (state->hash == nullptr)
        return std::string();
    // Finishing a hash ends it: finish a duplicate, so that feeding may go on.
    std::vector<UCHAR> object(state->object.size());
    BCRYPT_HASH_HANDLE copy = nullptr;
    if (!Succeeded(::BCryptDuplicateHash(state->hash, &copy, object.data(), static_cast<ULONG>(object.size()), 0)))
        return std::string();
    UCHAR digest[DigestSize];
    const bool done = Succeeded(::BCryptFinishHash(copy, digest, DigestSize, 0));
    ::BCryptDestroyHash(copy);
    return done ? LowerHex(digest, DigestSize) : std::string();
}
