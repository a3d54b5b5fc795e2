#include "EscapedString.h"

#include <cctype>

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::vector<uint8_t> EscapedString::Parse(const std::string& text)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size());
    const size_t length = text.size();
    size_t i = 0;
    while (i < length) {
        if (text[i] == '\\' && i + 1 < length) {
            if (text[i + 1] == 'x' && i + 3 < length) {
                int high = HexValue(text[i + 2]);
                int low = HexValue(text[i + 3]);
                bytes.push_back(high >= 0 && low >= 0 ? static_cast<uint8_t>(high * 16 + low) : '\\');
                i += 4;
            } else {
                bytes.push_back('\\');
                i += 2;
            }
        } else {
            bytes.push_back(static_cast<uint8_t>(text[i]));
            i += 1;
        }
    }
    return bytes;
}
