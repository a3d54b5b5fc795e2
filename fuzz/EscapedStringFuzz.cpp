// The operator's Xmit text, any bytes at all: the parse must give exactly what
// the escape rules say, never more bytes than characters, and "\xHH" written
// for every byte must give those bytes back.
#include "EscapedString.h"
#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int Digit(char c)
{
    if (c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

// The rules read as a list of cases on what is left of the text.
std::vector<uint8_t> Reference(const std::string& text)
{
    std::vector<uint8_t> out;
    std::string rest = text;
    while (!rest.empty()) {
        if (rest[0] != '\\' || rest.size() == 1) {
            out.push_back(static_cast<uint8_t>(rest[0]));
            rest.erase(0, 1);
        } else if (rest[1] == 'x' && rest.size() >= 4) {
            out.push_back(IsHex(rest[2]) && IsHex(rest[3]) ? static_cast<uint8_t>(Digit(rest[2]) * 16 + Digit(rest[3]))
                                                           : static_cast<uint8_t>('\\'));
            rest.erase(0, 4);
        } else {
            out.push_back('\\');
            rest.erase(0, 2);
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<uint8_t> parsed = EscapedString::Parse(text);
    FUZZ_CHECK(parsed.size() <= text.size());
    FUZZ_CHECK(parsed == Reference(text));

    // Every byte written as an escape, in either case of hex digit, comes back.
    static const char lower[] = "0123456789abcdef";
    static const char upper[] = "0123456789ABCDEF";
    std::string escaped;
    for (size_t i = 0; i < size; ++i) {
        const char* digits = (i & 1) ? upper : lower;
        escaped += "\\x";
        escaped += digits[data[i] >> 4];
        escaped += digits[data[i] & 0x0F];
    }
    FUZZ_CHECK(EscapedString::Parse(escaped) == std::vector<uint8_t>(data, data + size));
    return 0;
}
