#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The operator's text to transmit, with "\xHH" standing for any byte.
class EscapedString {
public:
    // A backslash, lower-case x and two hex digits give that byte; a backslash
    // with anything else gives one backslash and consumes the next character.
    // Nothing is appended: no CR, LF or zero byte.
    static std::vector<uint8_t> Parse(const std::string& text);
};
