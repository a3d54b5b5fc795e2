// An address from the history (a hand-edited settings file can hold any text):
// four bytes as atoi reads each dot-separated number, low 8 bits kept, and no
// read beyond the text. Checked against a reading of its own, and "a.b.c.d"
// printed from four bytes must come back as those bytes.
#include "AppSettings.h"
#include "FuzzCheck.h"

#include <array>
#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// atoi's reading, saturating where a number leaves the range of long (the
// store's own reading does, rather than overflow), then the low 8 bits.
uint8_t NumberByte(const std::string& number)
{
    size_t i = 0;
    while (i < number.size() && std::isspace(static_cast<unsigned char>(number[i])))
        ++i;
    bool negative = false;
    if (i < number.size() && (number[i] == '+' || number[i] == '-'))
        negative = number[i++] == '-';
    // Magnitude beyond what long holds saturates.
    unsigned long long magnitude = 0;
    bool saturated = false;
    for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
        if (magnitude > (ULLONG_MAX - 9) / 10)
            saturated = true;
        else
            magnitude = magnitude * 10 + static_cast<unsigned>(number[i] - '0');
    }
    const unsigned long long limit = negative ? static_cast<unsigned long long>(LONG_MAX) + 1 : LONG_MAX;
    if (saturated || magnitude > limit)
        magnitude = limit;
    const unsigned long long value = negative ? 0 - magnitude : magnitude; // two's complement, wraps
    return static_cast<uint8_t>(value & 0xFF);
}

std::array<uint8_t, 4> Reference(const std::string& text)
{
    std::array<uint8_t, 4> bytes{0, 0, 0, 0};
    size_t start = 0;
    for (size_t index = 0; index < 4 && start < text.size(); ++index) {
        size_t dot = text.find('.', start);
        size_t end = dot == std::string::npos ? text.size() : dot;
        // The reading stops at the C string's end: a NUL inside the text ends the number.
        std::string number = text.substr(start, end - start);
        number = number.substr(0, number.find('\0'));
        bytes[index] = NumberByte(number);
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(AppSettings::ParseDottedAddress(text) == Reference(text));

    if (size >= 4) {
        const std::string printed = std::to_string(data[0]) + "." + std::to_string(data[1]) + "." +
                                    std::to_string(data[2]) + "." + std::to_string(data[3]);
        const std::array<uint8_t, 4> back = AppSettings::ParseDottedAddress(printed);
        FUZZ_CHECK(back == (std::array<uint8_t, 4>{data[0], data[1], data[2], data[3]}));
    }
    return 0;
}
