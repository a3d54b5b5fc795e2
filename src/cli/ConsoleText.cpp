#include "ConsoleText.h"

#include <string>

#include "ConsoleRendering.h"

namespace {

// Tags dimmer than the text, labels grey: as near to the window's colours as a
// terminal's palette allows.
const char* const TagColour = "\x1b[2m";
const char* const LabelColour = "\x1b[90m";
const char* const PlainColour = "\x1b[0m";

} // namespace

void ConsoleText::Append(const uint8_t* bytes, int count)
{
    if (count <= 0)
        return;
    std::string text;
    for (const auto& run : ConsoleRendering::Render(bytes, static_cast<size_t>(count))) {
        const bool coloured = colours && run.kind != ConsoleRendering::RunKind::Text;
        if (coloured)
            text += run.kind == ConsoleRendering::RunKind::Tag ? TagColour : LabelColour;
        for (char c : run.text) {
            if (c == '\n' && endedWithCr) {
                endedWithCr = false;
                continue;
            }
            endedWithCr = c == '\r';
            text += c == '\r' ? '\n' : c;
        }
        if (coloured)
            text += PlainColour;
    }
    if (!text.empty()) {
        atLineStart = text.back() == '\n';
        std::fwrite(text.data(), 1, text.size(), out);
        std::fflush(out);
    }
}

void ConsoleText::EndLine()
{
    if (!atLineStart) {
        std::fputc('\n', out);
        std::fflush(out);
        atLineStart = true;
    }
}
