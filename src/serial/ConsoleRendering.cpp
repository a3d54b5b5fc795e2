#include "ConsoleRendering.h"

#include <cstdio>

namespace {

const uint8_t ApploaderMarker[] = {0xFF, 0x99};
const uint8_t BootloaderMarker[] = {0xAA, 0x55};

// Position of the first two-byte marker in the chunk, or count when absent.
size_t Find(const uint8_t* bytes, size_t count, const uint8_t (&marker)[2])
{
    for (size_t i = 0; i + 1 < count; ++i)
        if (bytes[i] == marker[0] && bytes[i + 1] == marker[1])
            return i;
    return count;
}

void AppendPlain(const uint8_t* bytes, size_t count, std::vector<ConsoleRendering::Run>& runs)
{
    for (size_t i = 0; i < count; ++i) {
        uint8_t byte = bytes[i];
        bool printable = ConsoleRendering::IsPrintable(byte);
        ConsoleRendering::RunKind kind = printable ? ConsoleRendering::RunKind::Text : ConsoleRendering::RunKind::Tag;
        if (runs.empty() || runs.back().kind != kind)
            runs.push_back({kind, std::string()});
        if (printable) {
            runs.back().text += static_cast<char>(byte);
        } else {
            char tag[5];
            std::snprintf(tag, sizeof tag, "<%02X>", byte);
            runs.back().text += tag;
        }
    }
}

void RenderInto(const uint8_t* bytes, size_t count, std::vector<ConsoleRendering::Run>& runs)
{
    if (count == 0)
        return;
    // The apploader's prompt is looked for first, as the terminal's console always has.
    size_t at = Find(bytes, count, ApploaderMarker);
    const char* label = "<In Apploader>\n";
    if (at == count) {
        at = Find(bytes, count, BootloaderMarker);
        label = "<In Bootloader>\n";
    }
    if (at == count) {
        AppendPlain(bytes, count, runs);
        return;
    }
    RenderInto(bytes, at, runs);
    runs.push_back({ConsoleRendering::RunKind::Label, label});
    RenderInto(bytes + at + 2, count - at - 2, runs);
}

} // namespace

bool ConsoleRendering::IsPrintable(uint8_t byte)
{
    return (byte >= 0x20 && byte <= 0x7E) || byte == 0x0D || byte == 0x0A;
}

std::vector<ConsoleRendering::Run> ConsoleRendering::Render(const uint8_t* bytes, size_t count)
{
    std::vector<Run> runs;
    RenderInto(bytes, count, runs);
    return runs;
}

uint32_t ConsoleRendering::TagColour(uint32_t text, uint32_t background)
{
    uint32_t colour = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t t = (text >> shift) & 0xFF;
        uint32_t b = (background >> shift) & 0xFF;
        colour |= ((2 * t + b) / 3) << shift;
    }
    return colour;
}
