#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Undoes the line escaping used while XON/XOFF flow control is on: 0xBF 0x91
// is 0x11, 0xBF 0x93 is 0x13, 0xBF 0xBF is 0xBF, and 0xBF before any other
// byte drops both. A bare 0x11 or 0x13 is the sending side's flow control, not
// data. Keeps a lone 0xBF across calls, since a pair may be split between reads.
class XonXoffUnescaper {
public:
    static constexpr uint8_t EscapeByte = 0xBF;
    static constexpr uint8_t Xon = 0x11;
    static constexpr uint8_t Xoff = 0x13;

    // Appends the data bytes decoded from input to output.
    void Feed(const uint8_t* input, size_t length, std::vector<uint8_t>& output);
    void Reset();
    // Forgets a half-received pair but keeps the counts.
    void DropPendingEscape() { pendingEscape = false; }

    bool HasPendingEscape() const { return pendingEscape; }
    size_t BadEscapes() const { return badEscapes; }
    size_t FlowControlBytes() const { return flowControlBytes; }

    // The escaped form of data, for what the unit sends while XON/XOFF is on.
    static std::vector<uint8_t> Escape(const uint8_t* data, size_t length);

private:
    bool pendingEscape = false;
    size_t badEscapes = 0;
    size_t flowControlBytes = 0;
};
