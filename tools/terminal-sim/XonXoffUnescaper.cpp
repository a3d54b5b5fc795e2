#include "XonXoffUnescaper.h"

void XonXoffUnescaper::Feed(const uint8_t* input, size_t length, std::vector<uint8_t>& output)
{
    for (size_t i = 0; i < length; ++i) {
        uint8_t byte = input[i];
        if (pendingEscape) {
            pendingEscape = false;
            if (byte == (Xon | 0x80))
                output.push_back(Xon);
            else if (byte == (Xoff | 0x80))
                output.push_back(Xoff);
            else if (byte == EscapeByte)
                output.push_back(EscapeByte);
            else
                ++badEscapes;
            continue;
        }
        if (byte == EscapeByte)
            pendingEscape = true;
        else if (byte == Xon || byte == Xoff)
            ++flowControlBytes;
        else
            output.push_back(byte);
    }
}

void XonXoffUnescaper::Reset()
{
    pendingEscape = false;
    badEscapes = 0;
    flowControlBytes = 0;
}

std::vector<uint8_t> XonXoffUnescaper::Escape(const uint8_t* data, size_t length)
{
    std::vector<uint8_t> out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint8_t byte = data[i];
        if (byte == Xon || byte == Xoff || byte == EscapeByte) {
            out.push_back(EscapeByte);
            out.push_back(static_cast<uint8_t>(byte | 0x80));
        } else {
            out.push_back(byte);
        }
    }
    return out;
}
