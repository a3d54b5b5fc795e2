#include "ConsoleHistory.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Kind = ConsoleRendering::RunKind;
using Bytes = std::vector<uint8_t>;
using Position = ConsoleHistory::Position;

void Append(ConsoleHistory& history, const Bytes& bytes, bool coloured = false, uint32_t colour = 0)
{
    history.Append(bytes.data(), bytes.size(), coloured, colour);
}

// A row as "T[..]H[..]L[..]", with "*" after a run in a given colour.
std::string Describe(const ConsoleHistory& history, size_t row)
{
    std::string out;
    for (const auto& run : history.RowRuns(row)) {
        out += run.kind == Kind::Text ? "T[" : run.kind == Kind::Tag ? "H[" : "L[";
        out += run.text + "]";
        if (run.coloured && run.kind != Kind::Label)
            out += "*";
    }
    return out;
}

std::string All(const ConsoleHistory& history)
{
    return history.Text({0, 0}, history.End());
}

// The results box's text as the rich-text box built it: the chunk's runs with
// CR, LF and CR LF (also split between chunks) each one line break.
struct ReferenceBox {
    std::string text;
    bool endedWithCr = false;
    void Append(const Bytes& bytes)
    {
        for (const auto& run : ConsoleRendering::Render(bytes.data(), bytes.size()))
            for (char c : run.text) {
                if (c == '\n' && endedWithCr) {
                    endedWithCr = false;
                    continue;
                }
                endedWithCr = c == '\r';
                text += c == '\r' ? '\n' : c;
            }
    }
};

TEST(ConsoleHistory, RowsShowTextTagsAndLabels)
{
    ConsoleHistory history;
    Append(history, {0x48, 0x69, 0x0D, 0x0A});
    Append(history, {0x41, 0x00, 0x42, 0x0A});
    Append(history, {0x31, 0xAA, 0x55, 0x32, 0xFF, 0x99, 0x33, 0x0D});
    Append(history, {0x7F, 0x80, 0xFF, 0x1F, 0x20});
    ASSERT_EQ(history.RowCount(), 6u);
    EXPECT_EQ(Describe(history, 0), "T[Hi]");
    EXPECT_EQ(Describe(history, 1), "T[A]H[<00>]T[B]");
    EXPECT_EQ(Describe(history, 2), "T[1]L[<In Bootloader>]");
    EXPECT_EQ(Describe(history, 3), "T[2]L[<In Apploader>]");
    EXPECT_EQ(Describe(history, 4), "T[3]");
    EXPECT_EQ(Describe(history, 5), "H[<7F><80><FF><1F>]T[ ]");
    EXPECT_EQ(history.RowWidth(5), 17u);
    EXPECT_EQ(history.RowWidth(2), 16u);
    EXPECT_EQ(history.WidestRow(), 17u);
    EXPECT_EQ(All(history), "Hi\nA<00>B\n1<In Bootloader>\n2<In Apploader>\n3\n<7F><80><FF><1F> ");
    EXPECT_EQ(history.ByteCount(), 21u);
}

TEST(ConsoleHistory, LineBreaksAndMarkersAcrossAppends)
{
    ConsoleHistory history;
    Append(history, {'a', 0x0D});
    Append(history, {0x0A, 'b', 0x0A, 0x0A, 'c', 0x0D, 0x0D, 'd', 0xAA});
    Append(history, {0x55, 0xAA, 0x55, 0x0D, 0x0A, 'e'});
    // A marker split between appends is a tag and a U; a label ends its row,
    // and a CR LF after it is a line break of its own.
    EXPECT_EQ(All(history), "a\nb\n\nc\n\nd<AA>U<In Bootloader>\n\ne");
    EXPECT_EQ(Describe(history, 5), "T[d]H[<AA>]T[U]L[<In Bootloader>]");
    EXPECT_EQ(Describe(history, 6), "");
    EXPECT_EQ(history.RowCount(), 8u);
}

TEST(ConsoleHistory, MessagesKeepTheirColourReceivedDataTheWindowText)
{
    ConsoleHistory history;
    Append(history, {'x', 0x01});
    const std::string message = "Bootloader entered!\n";
    history.Append(reinterpret_cast<const uint8_t*>(message.data()), message.size(), true, 0x0000FF);
    Append(history, {'y', 0xAA, 0x55}, true, 0x808080);
    Append(history, {'z'});
    EXPECT_EQ(Describe(history, 0), "T[x]H[<01>]T[Bootloader entered!]*");
    auto runs = history.RowRuns(0);
    EXPECT_EQ(runs.back().colour, 0x0000FFu);
    EXPECT_EQ(Describe(history, 1), "T[y]*L[<In Bootloader>]");
    EXPECT_EQ(history.RowRuns(1).back().colour, ConsoleRendering::LabelColour);
    EXPECT_EQ(Describe(history, 2), "T[z]");
}

TEST(ConsoleHistory, ShowsWhatTheRichTextBoxShowedForAnyChunks)
{
    std::mt19937 random(12);
    ConsoleHistory history;
    ReferenceBox reference;
    for (int chunk = 0; chunk < 400; ++chunk) {
        Bytes bytes(random() % 40);
        for (auto& byte : bytes) {
            // Mostly the bytes that matter here: breaks, marker halves, text.
            static const uint8_t interesting[] = {0x0D, 0x0A, 0xAA, 0x55, 0xFF, 0x99, 'q', 0x00};
            byte = random() % 3 ? interesting[random() % std::size(interesting)] : static_cast<uint8_t>(random());
        }
        Append(history, bytes);
        reference.Append(bytes);
    }
    EXPECT_EQ(All(history), reference.text);
}

TEST(ConsoleHistory, SelectedTextBetweenPositions)
{
    ConsoleHistory history;
    Append(history, {'o', 'n', 'e', 0x0D, 0x0A, 't', 0x00, 'o', 0x0A, 't', 'h', 'r', 'e', 'e'});
    EXPECT_EQ(history.Text({0, 1}, {1, 2}), "ne\nt<");
    EXPECT_EQ(history.Text({1, 2}, {0, 1}), "ne\nt<"); // either way round
    EXPECT_EQ(history.Text({1, 0}, {1, 99}), "t<00>o");
    EXPECT_EQ(history.Text({1, 6}, {2, 0}), "\n");
    EXPECT_EQ(history.Text({2, 5}, {9, 9}), "");
    EXPECT_EQ(history.End(), (Position{2, 5}));
}

TEST(ConsoleHistory, LongLinesGoOnInContinuationRowsAndAreJoinedWhenCopied)
{
    ConsoleHistory history;
    const size_t limit = ConsoleHistory::MaxRowBytes;
    Bytes line(limit * 2 + 10, 'x');
    line[limit] = 0x00; // the first byte of the second row is a tag
    Append(history, line);
    Append(history, Bytes(limit - 10, 'y'));
    Append(history, {0x0D, 0x0A}); // a break right at the limit makes no empty row
    Append(history, {'z'});
    ASSERT_EQ(history.RowCount(), 4u);
    EXPECT_FALSE(history.ContinuesRow(0));
    EXPECT_TRUE(history.ContinuesRow(1));
    EXPECT_TRUE(history.ContinuesRow(2));
    EXPECT_FALSE(history.ContinuesRow(3));
    EXPECT_EQ(history.RowWidth(0), limit);
    EXPECT_EQ(history.RowWidth(1), limit + 3);
    // Appended, not added: GCC 12 warns falsely on sums of such strings when optimising.
    std::string continued(10, 'x');
    continued.append(limit - 10, 'y');
    EXPECT_EQ(history.RowText(2), continued);
    EXPECT_EQ(history.WidestRow(), limit + 3);
    std::string expected(limit, 'x');
    expected.append("<00>").append(limit + 9, 'x').append(limit - 10, 'y').append("\nz");
    EXPECT_EQ(All(history), expected);
}

TEST(ConsoleHistory, ManyRowsAndCrLfSplitAtEveryAppend)
{
    ConsoleHistory history;
    for (int i = 0; i < 10000; ++i) {
        std::string line = "line " + std::to_string(i) + "\r";
        history.Append(reinterpret_cast<const uint8_t*>(line.data()), line.size(), false, 0);
        Append(history, {0x0A});
    }
    ASSERT_EQ(history.RowCount(), 10001u);
    EXPECT_EQ(history.RowText(0), "line 0");
    EXPECT_EQ(history.RowText(4095), "line 4095");
    EXPECT_EQ(history.RowText(4096), "line 4096");
    EXPECT_EQ(history.RowText(9999), "line 9999");
    EXPECT_EQ(history.RowText(10000), "");
    EXPECT_EQ(history.Text({4095, 5}, {4097, 4}), "4095\nline 4096\nline");
}

TEST(ConsoleHistory, KeepsAtMostAboutFourBytesPerByteAndClearGivesItBack)
{
    std::mt19937 random(7);
    ConsoleHistory history;
    Bytes chunk(1024);
    for (int i = 0; i < 4096; ++i) { // 4 MB of every byte value
        for (auto& byte : chunk)
            byte = static_cast<uint8_t>(random());
        Append(history, chunk);
    }
    std::string lines;
    for (int i = 0; lines.size() < (4u << 20); ++i)
        lines += "sensor " + std::to_string(i) + ": 21.5 C ok\r\n";
    history.Append(reinterpret_cast<const uint8_t*>(lines.data()), lines.size(), false, 0);
    EXPECT_LE(history.MemoryUsed(), 4 * history.ByteCount());
    EXPECT_GE(history.MemoryUsed(), history.ByteCount());

    // The flood of short lines is the dearest case of all: one row per byte.
    ConsoleHistory breaks;
    Append(breaks, Bytes(1 << 20, 0x0A));
    EXPECT_EQ(breaks.RowCount(), (1u << 20) + 1);
    EXPECT_LE(breaks.MemoryUsed(), 6 * breaks.ByteCount());

    history.Clear();
    EXPECT_EQ(history.RowCount(), 1u);
    EXPECT_EQ(history.ByteCount(), 0u);
    EXPECT_EQ(All(history), "");
    EXPECT_LT(history.MemoryUsed(), 32u * 1024);
    Append(history, {'o', 'k'});
    EXPECT_EQ(All(history), "ok");
}

} // namespace
