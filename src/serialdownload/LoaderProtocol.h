#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "SerialPort.h"

// What the terminal's two loaders say and understand on the serial line, and the
// small pure helpers that read their replies. Nothing here touches a port.
namespace LoaderProtocol {

// Commands, as ASCII with no terminator beyond the semicolon.
constexpr std::string_view QueryStateCommand = "Q;";
constexpr std::string_view QueryFlowCommand = "F;";
constexpr std::string_view QueryVersionCommand = "Q;W;Q;";
constexpr std::string_view ResetCommand = "R;";
constexpr std::string_view StartApploaderCommand = "A;";
constexpr std::string_view StartApploaderAltCommand = "B;";

// Loader prompts in answer to a state query.
constexpr uint8_t BootloaderMarker[2] = {0xAA, 0x55};
constexpr uint8_t ApploaderMarker[2] = {0xFF, 0x99};
constexpr std::string_view RefusalToken = "illegal";

// Reply bytes to "F;".
constexpr uint8_t NoFlowReply = 0x80;
constexpr uint8_t XonXoffReply = 0x81;
constexpr uint8_t RtsCtsReply = 0x82;

// One read takes at most this many reply bytes; the rest waits for the next read.
// A terminal that talks while it is asked (status lines at the line's full
// rate) can put more than 1 KB ahead of its answer within the reply window, so
// the read takes the port's whole ring and more: the answer is not left behind
// for a later query to misread.
constexpr int ReplyBufferSize = 4096;

// The terminal answers a command within this window; a later reply counts as none
// (it stays queued and is read with the next one).
constexpr int ReplyWindowMs = 100;

// An apploader of this firmware version or later accepts the firmware frame. Held
// as a float, like the parsed version, so that a reported "1.45" qualifies.
constexpr float FrameCapableVersion = 1.45f;

// The bootloader always runs at 115200 8N1.
constexpr uint32_t BootloaderBaudRate = 115200;

// Position of the first whole occurrence of token within the first count bytes of
// reply, or -1. No byte at or beyond count is examined; an empty token never matches.
int ContainsToken(const uint8_t* reply, int count, const uint8_t* token, int tokenLength);
int ContainsToken(const uint8_t* reply, int count, std::string_view token);

// Parses a decimal number the way the C library's atof does (leading white space,
// optional sign, digits, fraction, exponent; also hex, inf and nan), but reads only
// the given bytes and always with a full stop as the decimal point, whatever the
// process locale. No number gives 0.
double ParseNumber(const uint8_t* text, int length);

enum class VersionReply {
    Refused,    // the apploader does not know the version command
    Reported,   // version text found between two apploader markers
    Unanswered, // neither: no reply yet, or an incomplete one
};

// Reads the reply to "Q;W;Q;": FF 99, the version text, FF 99.
VersionReply ParseVersionReply(const uint8_t* reply, int count, float& version);

// The flow control named in a reply to "F;": 0x80, then 0x81, then 0x82 are looked
// for, and the first found anywhere decides. False when none occurs.
bool FlowControlFromReply(const uint8_t* reply, int count, FlowControl& type);

// "no", "Xon/Xoff" or "RTS/CTS", as the status line names the flow control.
const char* FlowControlName(FlowControl type);

} // namespace LoaderProtocol
