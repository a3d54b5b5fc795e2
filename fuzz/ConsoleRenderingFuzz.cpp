// Bytes from a terminal, cut into reads anywhere: what the results box shows
// must be exactly what the display rules give, worked out here on their own
// (labels for the loader prompts, text for printable bytes, "<HH>" tags for the
// rest, one line break for each CR, LF or CR LF, also split between reads), and
// no received byte may go missing. The command line's console prints the same
// text, with or without its colours.
//
// Input: a count k (low 3 bits of the first byte), then k cut bytes, then the
// received bytes. A cut byte's low 7 bits place a cut (as a share of what is
// left); its top bit makes the piece after it a coloured message instead of
// received data. Bits 3 to 5 of the first byte repeat the pieces 2^n times, so
// that a short input reaches a session's long-run limits (a row's length, a
// page of rows, a storage block).
#include "ConsoleHistory.h"
#include "ConsoleRendering.h"
#include "ConsoleText.h"
#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t MessageColour = 0x0000FF;

struct Piece {
    std::vector<uint8_t> bytes;
    bool coloured;
};

// One character as shown, with what it is.
struct Cell {
    char c;
    ConsoleRendering::RunKind kind;
    bool coloured;
    uint32_t colour;
    bool operator==(const Cell&) const = default;
};

bool Printable(uint8_t b)
{
    return (b >= 0x20 && b <= 0x7E) || b == 0x0D || b == 0x0A;
}

std::string Tag(uint8_t b)
{
    static const char hex[] = "0123456789ABCDEF";
    return std::string{'<', hex[b >> 4], hex[b & 15], '>'};
}

// The chunk rule: the apploader prompt is looked for first, else the
// bootloader's; the part before it is shown by the same rule, then its label,
// then the part after it.
struct Shown {
    enum Kind { Byte, BootLabel, AppLabel } kind;
    uint8_t byte;
};

void ShowChunk(const uint8_t* b, size_t n, std::vector<Shown>& out)
{
    if (n == 0)
        return;
    for (int pass = 0; pass < 2; ++pass) {
        const uint8_t first = pass == 0 ? 0xFF : 0xAA, second = pass == 0 ? 0x99 : 0x55;
        for (size_t p = 0; p + 1 < n; ++p) {
            if (b[p] == first && b[p + 1] == second) {
                ShowChunk(b, p, out);
                out.push_back({pass == 0 ? Shown::AppLabel : Shown::BootLabel, 0});
                ShowChunk(b + p + 2, n - p - 2, out);
                return;
            }
        }
    }
    for (size_t i = 0; i < n; ++i)
        out.push_back({Shown::Byte, b[i]});
}

// The runs of one chunk as the rendering gives them (CR and LF inserted as they are).
std::vector<ConsoleRendering::Run> ReferenceRuns(const std::vector<Shown>& shown)
{
    std::vector<ConsoleRendering::Run> runs;
    for (const Shown& s : shown) {
        if (s.kind != Shown::Byte) {
            runs.push_back({ConsoleRendering::RunKind::Label,
                            s.kind == Shown::AppLabel ? "<In Apploader>\n" : "<In Bootloader>\n"});
            continue;
        }
        const bool text = Printable(s.byte);
        const auto kind = text ? ConsoleRendering::RunKind::Text : ConsoleRendering::RunKind::Tag;
        if (runs.empty() || runs.back().kind != kind)
            runs.push_back({kind, std::string()});
        runs.back().text += text ? std::string(1, static_cast<char>(s.byte)) : Tag(s.byte);
    }
    return runs;
}

std::vector<Piece> Cut(const uint8_t* data, size_t size)
{
    std::vector<Piece> pieces;
    if (size == 0)
        return pieces;
    const size_t cuts = data[0] & 7;
    if (size < 1 + cuts)
        return pieces;
    const uint8_t* cutBytes = data + 1;
    const uint8_t* rest = data + 1 + cuts;
    size_t left = size - 1 - cuts;
    bool coloured = false;
    for (size_t i = 0; i <= cuts; ++i) {
        size_t take = i == cuts ? left : left * (cutBytes[i] & 0x7F) / 127;
        pieces.push_back({std::vector<uint8_t>(rest, rest + take), coloured});
        rest += take;
        left -= take;
        if (i < cuts)
            coloured = (cutBytes[i] & 0x80) != 0;
    }
    return pieces;
}

// What the command line's console prints for the pieces, colour codes removed.
std::string Printed(const std::vector<Piece>& pieces, bool colours)
{
    char* buffer = nullptr;
    size_t length = 0;
    std::FILE* out = open_memstream(&buffer, &length);
    FUZZ_CHECK(out != nullptr);
    {
        ConsoleText console(out, colours);
        for (const Piece& piece : pieces)
            console.Append(piece.bytes.data(), static_cast<int>(piece.bytes.size()));
    }
    std::fclose(out);
    std::string printed(buffer, length);
    std::free(buffer);
    std::string plain;
    for (size_t i = 0; i < printed.size(); ++i) {
        if (printed[i] == '\x1b') {
            FUZZ_CHECK(colours);
            const size_t end = printed.find('m', i);
            FUZZ_CHECK(end != std::string::npos);
            i = end;
            continue;
        }
        plain += printed[i];
    }
    return plain;
}

bool SameRuns(const std::vector<ConsoleRendering::Run>& a, const std::vector<ConsoleRendering::Run>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].text != b[i].text)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<Piece> once = Cut(data, size);
    std::vector<Piece> pieces;
    const size_t repeat = size == 0 ? 1 : size_t(1) << ((data[0] >> 3) & 7);
    for (size_t i = 0; i < repeat && i * size < 128 * 1024; ++i)
        pieces.insert(pieces.end(), once.begin(), once.end());

    ConsoleHistory history;
    std::vector<Cell> expected; // "\n" cells stand for row ends
    uint64_t total = 0;
    bool afterCr = false;
    for (const Piece& piece : pieces) {
        std::vector<Shown> shown;
        ShowChunk(piece.bytes.data(), piece.bytes.size(), shown);
        FUZZ_CHECK(SameRuns(ConsoleRendering::Render(piece.bytes.data(), piece.bytes.size()), ReferenceRuns(shown)));

        history.Append(piece.bytes.data(), piece.bytes.size(), piece.coloured, MessageColour);
        total += piece.bytes.size();
        const uint32_t colour = piece.coloured ? MessageColour : 0;
        for (const Shown& s : shown) {
            if (s.kind != Shown::Byte) {
                const char* label = s.kind == Shown::AppLabel ? "<In Apploader>" : "<In Bootloader>";
                for (const char* c = label; *c; ++c)
                    expected.push_back({*c, ConsoleRendering::RunKind::Label, true, ConsoleRendering::LabelColour});
                expected.push_back({'\n', ConsoleRendering::RunKind::Label, false, 0});
                afterCr = false;
                continue;
            }
            const uint8_t b = s.byte;
            if (b == 0x0A && afterCr) { // the LF of a CR LF: the CR already broke the line
                afterCr = false;
                continue;
            }
            afterCr = b == 0x0D;
            if (b == 0x0D || b == 0x0A) {
                expected.push_back({'\n', ConsoleRendering::RunKind::Text, false, 0});
            } else if (Printable(b)) {
                expected.push_back({static_cast<char>(b), ConsoleRendering::RunKind::Text, piece.coloured, colour});
            } else {
                for (char c : Tag(b))
                    expected.push_back({c, ConsoleRendering::RunKind::Tag, piece.coloured, colour});
            }
        }
    }

    // Nothing lost: every byte is kept, and the rows hold exactly the cells.
    FUZZ_CHECK(history.ByteCount() == total);
    std::vector<Cell> actual;
    std::string joined;
    size_t widest = 0;
    for (size_t row = 0; row < history.RowCount(); ++row) {
        if (row > 0 && !history.ContinuesRow(row)) {
            actual.push_back({'\n', ConsoleRendering::RunKind::Text, false, 0});
            joined += '\n';
        }
        size_t width = 0;
        for (const ConsoleHistory::Run& run : history.RowRuns(row)) {
            for (char c : run.text)
                actual.push_back({c, run.kind, run.coloured, run.kind == ConsoleRendering::RunKind::Text ||
                                                                     run.kind == ConsoleRendering::RunKind::Tag
                                                                 ? (run.coloured ? run.colour : 0)
                                                                 : run.colour});
            width += run.text.size();
            joined += run.text;
        }
        FUZZ_CHECK(history.RowWidth(row) == width);
        FUZZ_CHECK(history.RowText(row).size() == width);
        widest = std::max(widest, width);
    }
    FUZZ_CHECK(history.WidestRow() == widest);

    // Row ends carry no kind of their own: compare them as plain breaks.
    std::vector<Cell> wanted = expected;
    for (Cell& cell : wanted)
        if (cell.c == '\n')
            cell = {'\n', ConsoleRendering::RunKind::Text, false, 0};
    FUZZ_CHECK(actual == wanted);

    std::string wantedText;
    for (const Cell& cell : wanted)
        wantedText += cell.c;
    FUZZ_CHECK(history.Text({0, 0}, history.End()) == wantedText);

    // Received bytes hold no ESC that could pass for a colour code: 0x1B is shown as a tag.
    FUZZ_CHECK(Printed(pieces, false) == wantedText);
    FUZZ_CHECK(Printed(pieces, true) == wantedText);
    return 0;
}
