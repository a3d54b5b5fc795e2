#pragma once

#include <cstdint>
#include <cstdio>

// Bytes from a terminal written out as the window's results box shows them:
// printable text as it is, other bytes as hex tags, the loaders' prompts as
// labels (from ConsoleRendering). CR, LF and CR LF each end one line, also when
// split between two reads. Colours only when asked for (a terminal).
class ConsoleText {
public:
    ConsoleText(std::FILE* out, bool colours) : out(out), colours(colours) {}

    void Append(const uint8_t* bytes, int count);
    // Ends an unfinished line, so that what follows starts on a line of its own.
    void EndLine();

private:
    std::FILE* out;
    bool colours;
    bool endedWithCr = false;
    bool atLineStart = true;
};
