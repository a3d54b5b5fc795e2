#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// One entry of the simulator's log.
struct TerminalEvent {
    enum class Kind {
        Received,      // bytes read off the line (bytes, as they came; at most 256 kept)
        Sent,          // bytes written to the line
        Command,       // a recognised command; text is "Q;", "F;", "Q;W;Q;", "W;", "R;", "A;", "B;", "q;" or "IIIII"
        Ignored,       // input not acted upon; text says why
        LoaderChanged, // text is TerminalLoaderName of the new loader
        ImageStarted,  // text "firmware" or "application"
        ImageReceived, // text is the verdict
        LineControl,   // XOFF sent / XON sent / reading stalled / reading resumed
        Unplugged,
    };

    Kind kind;
    std::chrono::steady_clock::time_point time;
    std::string text;
    std::vector<uint8_t> bytes;
    size_t count = 0; // Received and Sent: how many bytes in all
};

const char* TerminalEventKindName(TerminalEvent::Kind kind);
