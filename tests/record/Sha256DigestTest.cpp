#include <gtest/gtest.h>

#include <string>

#include "Sha256Digest.h"
#include "TestFiles.h"

namespace {

std::string Hex(const std::string& text)
{
    return Sha256Digest::HexOf(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

} // namespace

TEST(Sha256DigestTest, KnownDigests)
{
    // FIPS 180-2's examples, as sha256sum prints them.
    EXPECT_EQ(Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Sha256DigestTest, PiecesGiveTheDigestOfTheWholeAndReadingItMidwayChangesNothing)
{
    const std::vector<uint8_t> bytes = RandomBytes(10000, 7);
    Sha256Digest pieces;
    size_t at = 0;
    for (size_t piece : {1u, 63u, 64u, 65u, 512u, 1024u}) {
        pieces.Update(bytes.data() + at, piece);
        at += piece;
        // A look at the digest so far must not end or reset the hash.
        EXPECT_EQ(pieces.Hex(), Sha256Digest::HexOf(bytes.data(), at));
    }
    pieces.Update(bytes.data() + at, bytes.size() - at);
    EXPECT_EQ(pieces.Hex(), Sha256Digest::HexOf(bytes.data(), bytes.size()));
}
