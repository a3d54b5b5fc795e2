#pragma once

#include "ConsoleRendering.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Everything the results box has been given, kept compactly for a whole
// session: the bytes themselves (one byte each), where each append's colour
// and each loader label begin, and an index of where each row begins. What a
// row shows (text, tags, labels) is worked out from the bytes when it is
// asked for, so only the rows on screen cost anything to draw.
//
// Rows end at CR, LF, CR LF (also when split between appends) and after a
// label, as the results box always broke its lines. A line longer than
// MaxRowBytes goes on in a continuation row, so that no row is ever too long
// to draw or to index; copied and saved text joins such rows again.
//
// Not thread-safe: one owner appends and reads.
class ConsoleHistory {
public:
    static constexpr size_t MaxRowBytes = 2048;

    struct Run {
        ConsoleRendering::RunKind kind;
        bool coloured;   // false: the window-text colour; true: `colour`
        uint32_t colour; // 0x00BBGGRR; labels are always ConsoleRendering::LabelColour
        std::string text;
    };

    // A place in the history as shown: a row and a column (character) in it.
    struct Position {
        size_t row = 0;
        size_t column = 0;
        friend bool operator==(const Position&, const Position&) = default;
        friend auto operator<=>(const Position&, const Position&) = default;
    };

    ConsoleHistory();

    // The results box's AppendBytes: received data with coloured false, a
    // message with its colour.
    void Append(const uint8_t* bytes, size_t count, bool coloured, uint32_t colour);
    void Clear(); // forgets everything and gives the memory back

    size_t RowCount() const; // at least 1: the row being written
    std::vector<Run> RowRuns(size_t row) const;
    std::string RowText(size_t row) const;
    size_t RowWidth(size_t row) const; // in characters
    // True when the row goes on from the one above it (a cut long line).
    bool ContinuesRow(size_t row) const;
    size_t WidestRow() const { return widestRow; }

    // The text as shown between two positions: rows joined by "\n", tags and
    // labels included. Hands it over in pieces; stops early when sink says false.
    bool ForEachText(Position from, Position to, const std::function<bool(std::string_view)>& sink) const;
    std::string Text(Position from, Position to) const;
    Position End() const;

    uint64_t ByteCount() const { return size; }
    size_t MemoryUsed() const; // bytes held, reserved capacity included

private:
    enum class SegmentKind : uint8_t { Received, Coloured, BootloaderLabel, ApploaderLabel };
    struct Segment {
        uint64_t start; // first byte
        uint32_t colour;
        SegmentKind kind;
    };
    // Row starts, RowsPerPage to a page, as offsets from the page's first
    // byte; the top bit marks a continuation row. A page spans at most
    // RowsPerPage * MaxRowBytes bytes, so the offsets fit.
    struct Page {
        uint64_t base;
        std::vector<uint32_t> starts;
    };
    static constexpr size_t BlockBytes = 64 * 1024;
    static constexpr size_t RowsPerPage = 4096;
    static constexpr uint32_t ContinuationBit = 0x80000000u;

    void Store(const uint8_t* bytes, size_t count);
    void StartSegment(SegmentKind kind, uint32_t colour);
    void StartRow(uint64_t at, bool continuation);
    void AppendPlain(const uint8_t* bytes, size_t count);
    void AppendLabel(ConsoleRendering::Marker marker);
    void NoteWidth(); // after the current row grew
    // Calls emit(kind, coloured, colour, text, length) for each shown piece of a row.
    template <typename Emit>
    void WalkRow(size_t row, Emit&& emit) const;
    void AppendRowText(size_t row, std::string& out) const;
    uint64_t RowStart(size_t row) const;
    uint64_t RowEnd(size_t row) const;
    size_t SegmentAt(uint64_t at) const;

    std::vector<std::unique_ptr<uint8_t[]>> blocks;
    uint64_t size = 0;
    std::vector<Segment> segments;
    std::vector<Page> pages;
    bool afterCr = false;          // the last byte was a CR that ended a row
    size_t currentRowColumns = 0;  // width of the last row so far
    size_t widestRow = 0;
};
