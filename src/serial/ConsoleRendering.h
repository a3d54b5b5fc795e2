#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Turns bytes received on the console port into coloured runs for the results
// box: printable text as it is, every other byte as a hex tag such as "<00>",
// and the loaders' two-byte prompts as labels.
class ConsoleRendering {
public:
    enum class RunKind {
        Text,  // printable bytes, in the text colour
        Tag,   // hex tags, in the dimmer tag colour
        Label, // a loader label, in grey
    };
    struct Run {
        RunKind kind;
        std::string text;
    };

    static constexpr uint32_t LabelColour = 0x808080; // 0x00BBGGRR grey

    enum class Marker { Bootloader, Apploader };
    struct MarkerAt {
        size_t position; // of the marker's first byte in the chunk
        Marker marker;
    };

    // The runs for one chunk, in order. A marker split between two chunks is
    // not recognised: its bytes show as tags.
    static std::vector<Run> Render(const uint8_t* bytes, size_t count);

    // Every loader prompt in one chunk, in order.
    static std::vector<MarkerAt> FindMarkers(const uint8_t* bytes, size_t count);
    static const char* Label(Marker marker); // "<In Bootloader>\n", "<In Apploader>\n"

    static bool IsPrintable(uint8_t byte);
    // Writes the four characters of the byte's hex tag, "<%02X>", without a terminator.
    static void WriteTag(uint8_t byte, char* out);

    // Each channel (2 x text + background) / 3, truncated; colours as 0x00BBGGRR.
    static uint32_t TagColour(uint32_t text, uint32_t background);
};
