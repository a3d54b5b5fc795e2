#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Which program the simulated unit is running.
enum class TerminalLoader {
    Off,        // the unit's own application (or nothing): answers no loader command
    Bootloader, // answers "Q;" with AA 55, always at 115200 8N1
    Apploader,  // answers "Q;" with FF 99, at its own rate and format
    Restarting, // between "R;"/"A;"/"B;" and the loader coming up: deaf
    PoweringUp, // just after a power cycle: listens for "IIIII" only
    Unplugged,  // the cable was pulled: the pseudo-terminal is gone
};

const char* TerminalLoaderName(TerminalLoader loader);

// How the unit answers "IIIII" while it powers up.
enum class InductionReply {
    NoticeThenEntering, // "NOTICE" at once, then "Entering" and the bootloader runs
    NoticeOnly,         // "NOTICE" but never "Entering" (and no bootloader)
    Nothing,            // ignores the induction and boots as usual
};

// Every behaviour of the simulated unit's serial side. Tests fill the struct;
// the program fills it from its command line (SimulatorCommandLine).
struct TerminalOptions {
    // COM alias number to publish; 0 picks the first free one from FirstAutoComNumber.
    int comNumber = 0;
    static constexpr int FirstAutoComNumber = 40;

    TerminalLoader loaderAtStart = TerminalLoader::Apploader;

    // The apploader's line: rate in bit/s and format as "8n1", "8e2"... The
    // bootloader always runs at 115200 8N1.
    uint32_t apploaderRate = 115200;
    std::string apploaderFormat = "8n1";

    // Decimal text sent between the markers for "Q;W;Q;"; empty means the
    // apploader has no version command and answers "illegal".
    std::string firmwareVersion = "1.50";

    // Reply byte to "F;": 0x80 none, 0x81 XON/XOFF, 0x82 RTS/CTS, any other
    // byte value is sent as it is (garbage); -1 sends nothing.
    int flowControlReply = 0x81;

    // Commands refused with "illegal".
    bool refuseA = false;
    bool refuseB = false;
    bool refuseR = false;
    bool refuseVersion = false;

    // Receives and logs, but never sends a byte.
    bool silent = false;

    // How long "R;", "A;" and "B;" take before the next loader answers.
    int restartMs = 50;

    // What real terminals do that a polite one does not.
    // A status line every chatterIntervalMs (0 = never), until the first command
    // or, with chatterAlways, for ever; in every state but unplugged. It starts
    // again after each image received.
    double chatterIntervalMs = 0;
    bool chatterAlways = false;
    // Boot messages when a restart or power-up begins and when the loader is up.
    bool bootChatter = false;
    // Replies to commands go out this late (a reply after the 100 ms window is
    // read together with the next one).
    int replyDelayMs = 0;
    // Checks, when an image starts, that the far end's line has the flow control
    // the loader uses (Xon/Xoff flags, RTS/CTS); a wrong one refuses the image.
    bool checkLineFlow = true;
    // When > 0: the cable is pulled this long after start, whatever goes on.
    int unplugAfterMs = 0;

    // Power-cycle behaviour for the bootloader induction.
    InductionReply inductionReply = InductionReply::NoticeThenEntering;
    int powerUpWindowMs = 1500;  // how long after power-on "IIIII" is listened for
    int enteringDelayMs = 100;   // between "NOTICE" and "Entering"; 0 sends both at once
    // When > 0: "IIIII" seen while no loader listens makes the unit power-cycle
    // by itself this many ms later, as an operator would (for use without a test).
    int powerCycleOnInduceMs = 0;

    // Read the line no faster than rate/10 bytes a second, as a real UART would.
    bool paceLine = false;

    // Flow-control mishaps, counted in bytes of the image being received (0 = off).
    size_t xoffAfterBytes = 0;  // send XOFF (0x13) after this many bytes...
    int xoffHoldMs = 1000;      // ...and XON (0x11) this long afterwards
    size_t stallAfterBytes = 0; // stop reading after this many bytes...
    int stallMs = 1000;         // ...for this long
    size_t unplugAfterBytes = 0; // close the pseudo-terminal after this many bytes

    // End of an application image: this many bytes (0 = unknown) or an idle gap.
    size_t expectedImageSize = 0;
    int imageIdleMs = 500;
    // Frames declaring more than this are refused instead of being buffered.
    size_t maxImageSize = 64u * 1024u * 1024u;

    // Console traffic: once the far end has opened the port, send this many
    // bytes (0 = none), as fast as the line takes them, once: numbered text
    // lines, or every byte value when streamMixed.
    size_t streamBytes = 0;
    bool streamMixed = false;
};

// True for the data formats Vennix offers: 8 data bits, n/o/e parity, 1 or 2 stop bits.
bool IsValidLineFormat(const std::string& format);
