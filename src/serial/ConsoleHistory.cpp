#include "ConsoleHistory.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t Cr = 0x0D;
constexpr uint8_t Lf = 0x0A;

bool IsBreak(uint8_t byte)
{
    return byte == Cr || byte == Lf;
}

// A label is shown as its text; its line break is the end of its row.
size_t LabelWidth(ConsoleRendering::Marker marker)
{
    return std::strlen(ConsoleRendering::Label(marker)) - 1;
}

// Text joined for a sink is handed over in pieces of about this size.
constexpr size_t TextPieceBytes = 64 * 1024;

} // namespace

ConsoleHistory::ConsoleHistory()
{
    StartRow(0, false);
}

void ConsoleHistory::Append(const uint8_t* bytes, size_t count, bool coloured, uint32_t colour)
{
    if (count == 0)
        return;
    SegmentKind kind = coloured ? SegmentKind::Coloured : SegmentKind::Received;
    size_t from = 0;
    for (const ConsoleRendering::MarkerAt& at : ConsoleRendering::FindMarkers(bytes, count)) {
        if (at.position > from) {
            StartSegment(kind, coloured ? colour : 0);
            AppendPlain(bytes + from, at.position - from);
        }
        AppendLabel(at.marker);
        from = at.position + 2;
    }
    if (count > from) {
        StartSegment(kind, coloured ? colour : 0);
        AppendPlain(bytes + from, count - from);
    }
}

void ConsoleHistory::Clear()
{
    std::vector<std::unique_ptr<uint8_t[]>>().swap(blocks);
    std::vector<Segment>().swap(segments);
    std::vector<Page>().swap(pages);
    size = 0;
    afterCr = false;
    currentRowColumns = 0;
    widestRow = 0;
    StartRow(0, false);
}

void ConsoleHistory::Store(const uint8_t* bytes, size_t count)
{
    while (count > 0) {
        size_t offset = size % BlockBytes;
        if (offset == 0 && size / BlockBytes == blocks.size())
            blocks.push_back(std::make_unique<uint8_t[]>(BlockBytes));
        size_t take = std::min(count, BlockBytes - offset);
        std::memcpy(blocks[size / BlockBytes].get() + offset, bytes, take);
        size += take;
        bytes += take;
        count -= take;
    }
}

void ConsoleHistory::StartSegment(SegmentKind kind, uint32_t colour)
{
    if (!segments.empty() && segments.back().kind == kind && segments.back().colour == colour &&
        kind != SegmentKind::BootloaderLabel && kind != SegmentKind::ApploaderLabel)
        return;
    if (!segments.empty() && segments.back().start == size)
        segments.back() = {size, colour, kind}; // the one before holds no byte
    else
        segments.push_back({size, colour, kind});
}

void ConsoleHistory::StartRow(uint64_t at, bool continuation)
{
    if (pages.empty() || pages.back().starts.size() == RowsPerPage) {
        pages.push_back({at, {}});
        pages.back().starts.reserve(RowsPerPage);
    }
    Page& page = pages.back();
    page.starts.push_back(static_cast<uint32_t>(at - page.base) | (continuation ? ContinuationBit : 0));
    currentRowColumns = 0;
}

void ConsoleHistory::NoteWidth()
{
    widestRow = std::max(widestRow, currentRowColumns);
}

void ConsoleHistory::AppendPlain(const uint8_t* bytes, size_t count)
{
    size_t i = 0;
    while (i < count) {
        if (afterCr) {
            afterCr = false;
            if (bytes[i] == Lf) {
                // CR LF is one line break: the LF joins the break the CR made,
                // and the (still empty) row after it begins behind the LF.
                Store(bytes + i, 1);
                pages.back().starts.back() += 1;
                ++i;
                continue;
            }
        }
        uint64_t rowBytes = size - RowStart(RowCount() - 1);
        if (rowBytes >= MaxRowBytes && !IsBreak(bytes[i])) {
            StartRow(size, true);
            rowBytes = 0;
        }
        size_t room = MaxRowBytes - std::min<uint64_t>(rowBytes, MaxRowBytes);
        size_t end = i;
        size_t columns = 0;
        bool broke = false;
        while (end < count) {
            uint8_t byte = bytes[end];
            if (IsBreak(byte)) {
                ++end;
                broke = true;
                break;
            }
            if (end - i >= room)
                break;
            columns += ConsoleRendering::IsPrintable(byte) ? 1 : 4;
            ++end;
        }
        Store(bytes + i, end - i);
        currentRowColumns += columns;
        NoteWidth();
        if (broke) {
            afterCr = bytes[end - 1] == Cr;
            StartRow(size, false);
        }
        i = end;
    }
}

void ConsoleHistory::AppendLabel(ConsoleRendering::Marker marker)
{
    afterCr = false;
    if (size - RowStart(RowCount() - 1) >= MaxRowBytes)
        StartRow(size, true);
    bool apploader = marker == ConsoleRendering::Marker::Apploader;
    StartSegment(apploader ? SegmentKind::ApploaderLabel : SegmentKind::BootloaderLabel, ConsoleRendering::LabelColour);
    const uint8_t bytes[2] = {static_cast<uint8_t>(apploader ? 0xFF : 0xAA), static_cast<uint8_t>(apploader ? 0x99 : 0x55)};
    Store(bytes, sizeof bytes);
    currentRowColumns += LabelWidth(marker);
    NoteWidth();
    StartRow(size, false);
}

size_t ConsoleHistory::RowCount() const
{
    return (pages.size() - 1) * RowsPerPage + pages.back().starts.size();
}

uint64_t ConsoleHistory::RowStart(size_t row) const
{
    const Page& page = pages[row / RowsPerPage];
    return page.base + (page.starts[row % RowsPerPage] & ~ContinuationBit);
}

uint64_t ConsoleHistory::RowEnd(size_t row) const
{
    return row + 1 < RowCount() ? RowStart(row + 1) : size;
}

bool ConsoleHistory::ContinuesRow(size_t row) const
{
    return row < RowCount() && (pages[row / RowsPerPage].starts[row % RowsPerPage] & ContinuationBit) != 0;
}

size_t ConsoleHistory::SegmentAt(uint64_t at) const
{
    auto after = std::upper_bound(segments.begin(), segments.end(), at,
                                  [](uint64_t position, const Segment& segment) { return position < segment.start; });
    return static_cast<size_t>(after - segments.begin()) - 1;
}

template <typename Emit>
void ConsoleHistory::WalkRow(size_t row, Emit&& emit) const
{
    if (row >= RowCount())
        return;
    const uint64_t end = RowEnd(row);
    uint64_t at = RowStart(row);
    if (at == end)
        return;
    size_t segment = SegmentAt(at);
    while (at < end) {
        while (segment + 1 < segments.size() && segments[segment + 1].start <= at)
            ++segment;
        const Segment& current = segments[segment];
        if (current.kind == SegmentKind::BootloaderLabel || current.kind == SegmentKind::ApploaderLabel) {
            auto marker = current.kind == SegmentKind::ApploaderLabel ? ConsoleRendering::Marker::Apploader
                                                                      : ConsoleRendering::Marker::Bootloader;
            emit(ConsoleRendering::RunKind::Label, true, ConsoleRendering::LabelColour, ConsoleRendering::Label(marker),
                 LabelWidth(marker));
            at += 2;
            continue;
        }
        const bool coloured = current.kind == SegmentKind::Coloured;
        // Within one block and one segment the bytes are read straight from the block.
        const uint64_t stop = std::min({end, segment + 1 < segments.size() ? segments[segment + 1].start : end,
                                        (at / BlockBytes + 1) * BlockBytes});
        const uint8_t* bytes = blocks[at / BlockBytes].get() + at % BlockBytes;
        for (uint64_t i = 0; i < stop - at; ++i) {
            const uint8_t byte = bytes[i];
            if (IsBreak(byte))
                continue;
            if (ConsoleRendering::IsPrintable(byte)) {
                const char c = static_cast<char>(byte);
                emit(ConsoleRendering::RunKind::Text, coloured, current.colour, &c, 1);
            } else {
                char tag[4];
                ConsoleRendering::WriteTag(byte, tag);
                emit(ConsoleRendering::RunKind::Tag, coloured, current.colour, tag, sizeof tag);
            }
        }
        at = stop;
    }
}

std::vector<ConsoleHistory::Run> ConsoleHistory::RowRuns(size_t row) const
{
    std::vector<Run> runs;
    WalkRow(row, [&runs](ConsoleRendering::RunKind kind, bool coloured, uint32_t colour, const char* text, size_t length) {
        if (runs.empty() || runs.back().kind != kind || runs.back().coloured != coloured || runs.back().colour != colour)
            runs.push_back({kind, coloured, colour, std::string()});
        runs.back().text.append(text, length);
    });
    return runs;
}

void ConsoleHistory::AppendRowText(size_t row, std::string& out) const
{
    WalkRow(row, [&out](ConsoleRendering::RunKind, bool, uint32_t, const char* text, size_t length) {
        out.append(text, length);
    });
}

std::string ConsoleHistory::RowText(size_t row) const
{
    std::string text;
    AppendRowText(row, text);
    return text;
}

size_t ConsoleHistory::RowWidth(size_t row) const
{
    if (row + 1 == RowCount())
        return currentRowColumns;
    size_t width = 0;
    WalkRow(row, [&width](ConsoleRendering::RunKind, bool, uint32_t, const char*, size_t length) { width += length; });
    return width;
}

ConsoleHistory::Position ConsoleHistory::End() const
{
    return {RowCount() - 1, currentRowColumns};
}

bool ConsoleHistory::ForEachText(Position from, Position to, const std::function<bool(std::string_view)>& sink) const
{
    if (to < from)
        std::swap(from, to);
    to = std::min(to, End());
    std::string piece;
    std::string text;
    for (size_t row = from.row; row <= to.row && row < RowCount(); ++row) {
        text.clear();
        AppendRowText(row, text);
        size_t first = row == from.row ? std::min(from.column, text.size()) : 0;
        size_t last = row == to.row ? std::min(to.column, text.size()) : text.size();
        if (last > first)
            piece.append(text, first, last - first);
        if (row < to.row && !ContinuesRow(row + 1))
            piece += '\n';
        if (piece.size() >= TextPieceBytes) {
            if (!sink(piece))
                return false;
            piece.clear();
        }
    }
    return piece.empty() || sink(piece);
}

std::string ConsoleHistory::Text(Position from, Position to) const
{
    std::string text;
    ForEachText(from, to, [&text](std::string_view piece) {
        text.append(piece);
        return true;
    });
    return text;
}

size_t ConsoleHistory::MemoryUsed() const
{
    size_t used = blocks.size() * BlockBytes + blocks.capacity() * sizeof(blocks[0]) +
                  segments.capacity() * sizeof(Segment) + pages.capacity() * sizeof(Page);
    for (const Page& page : pages)
        used += page.starts.capacity() * sizeof(uint32_t);
    return used;
}
