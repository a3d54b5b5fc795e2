#include "ConsoleRendering.h"
#include "EscapedString.h"

#include <gtest/gtest.h>

namespace {

using Kind = ConsoleRendering::RunKind;
using Bytes = std::vector<uint8_t>;

std::string Describe(const Bytes& bytes)
{
    std::string out;
    for (const auto& run : ConsoleRendering::Render(bytes.data(), bytes.size())) {
        out += run.kind == Kind::Text ? "T[" : run.kind == Kind::Tag ? "H[" : "L[";
        out += run.text + "]";
    }
    return out;
}

TEST(ConsoleRendering, TextTagsAndLabels)
{
    EXPECT_EQ(Describe({0x48, 0x69, 0x0D, 0x0A}), "T[Hi\r\n]");
    EXPECT_EQ(Describe({0x41, 0x00, 0x42}), "T[A]H[<00>]T[B]");
    EXPECT_EQ(Describe({0x00, 0x7F, 0x80, 0xFF}), "H[<00><7F><80><FF>]");
    EXPECT_EQ(Describe({0xAA, 0x55}), "L[<In Bootloader>\n]");
    EXPECT_EQ(Describe({0xFF, 0x99}), "L[<In Apploader>\n]");
    EXPECT_EQ(Describe({0x31, 0xAA, 0x55, 0x32, 0xFF, 0x99, 0x33}),
              "T[1]L[<In Bootloader>\n]T[2]L[<In Apploader>\n]T[3]");
    EXPECT_EQ(Describe({0xFF, 0x99, 0x31, 0xFF, 0x99}), "L[<In Apploader>\n]T[1]L[<In Apploader>\n]");
    // A marker split over two chunks shows as two tags.
    EXPECT_EQ(Describe({0x41, 0xAA}), "T[A]H[<AA>]");
    EXPECT_EQ(Describe({0x55}), "T[U]");
    EXPECT_EQ(Describe({}), "");
}

TEST(ConsoleRendering, TagColourIsTwoThirdsTextOneThirdBackground)
{
    EXPECT_EQ(ConsoleRendering::TagColour(0x000000, 0xFFFFFF), 0x555555u);
    EXPECT_EQ(ConsoleRendering::TagColour(0xFFFFFF, 0x000000), 0xAAAAAAu);
    EXPECT_EQ(ConsoleRendering::TagColour(0x0000FF, 0x000000), 0x0000AAu); // red stays red
}

TEST(EscapedString, OnlyBackslashLowerXAndTwoHexDigitsMakeAByte)
{
    EXPECT_EQ(EscapedString::Parse("\\x41\\x42"), (Bytes{0x41, 0x42}));
    EXPECT_EQ(EscapedString::Parse("A\\x0d"), (Bytes{0x41, 0x0D}));
    EXPECT_EQ(EscapedString::Parse("\\xfF"), (Bytes{0xFF}));
    EXPECT_EQ(EscapedString::Parse("\\x4"), (Bytes{0x5C, 0x34}));
    EXPECT_EQ(EscapedString::Parse("\\xZZ"), (Bytes{0x5C}));
    EXPECT_EQ(EscapedString::Parse("\\n"), (Bytes{0x5C}));
    EXPECT_EQ(EscapedString::Parse("\\\\x41"), (Bytes{0x5C, 0x78, 0x34, 0x31}));
    EXPECT_EQ(EscapedString::Parse("\\X41"), (Bytes{0x5C, 0x34, 0x31}));
    EXPECT_EQ(EscapedString::Parse("\\"), (Bytes{0x5C}));
    EXPECT_EQ(EscapedString::Parse(""), Bytes{});
    EXPECT_EQ(EscapedString::Parse("Q;"), (Bytes{'Q', ';'}));
}

} // namespace
