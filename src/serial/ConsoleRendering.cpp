#include "ConsoleRendering.h"

namespace {

constexpr uint8_t BootloaderMarker[] = {0xAA, 0x55};
constexpr uint8_t ApploaderMarker[] = {0xFF, 0x99};

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
            char tag[4];
            ConsoleRendering::WriteTag(byte, tag);
            runs.back().text.append(tag, sizeof tag);
        }
    }
}

} // namespace

std::vector<ConsoleRendering::MarkerAt> ConsoleRendering::FindMarkers(const uint8_t* bytes, size_t count)
{
    // The console looks for the apploader's prompt first and splits the chunk
    // around it. The two prompts share no byte, so they never overlap, and one
    // scan from the left finds exactly the same occurrences in the same order.
    std::vector<MarkerAt> found;
    for (size_t i = 0; i + 1 < count; ++i) {
        if (bytes[i] == ApploaderMarker[0] && bytes[i + 1] == ApploaderMarker[1]) {
            found.push_back({i, Marker::Apploader});
            ++i;
        } else if (bytes[i] == BootloaderMarker[0] && bytes[i + 1] == BootloaderMarker[1]) {
            found.push_back({i, Marker::Bootloader});
            ++i;
        }
    }
    return found;
}

const char* ConsoleRendering::Label(Marker marker)
{
    return marker == Marker::Apploader ? "<In Apploader>\n" : "<In Bootloader>\n";
}

std::vector<ConsoleRendering::Run> ConsoleRendering::Render(const uint8_t* bytes, size_t count)
{
    std::vector<Run> runs;
    size_t from = 0;
    for (const MarkerAt& at : FindMarkers(bytes, count)) {
        AppendPlain(bytes + from, at.position - from, runs);
        runs.push_back({RunKind::Label, Label(at.marker)});
        from = at.position + 2;
    }
    AppendPlain(bytes + from, count - from, runs);
    return runs;
}

bool ConsoleRendering::IsPrintable(uint8_t byte)
{
    return (byte >= 0x20 && byte <= 0x7E) || byte == 0x0D || byte == 0x0A;
}

void ConsoleRendering::WriteTag(uint8_t byte, char* out)
{
    static const char digits[] = "0123456789ABCDEF";
    out[0] = '<';
    out[1] = digits[byte >> 4];
    out[2] = digits[byte & 0x0F];
    out[3] = '>';
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
