#include "LoaderProtocol.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace LoaderProtocol {

int ContainsToken(const uint8_t* reply, int count, const uint8_t* token, int tokenLength)
{
    if (reply == nullptr || token == nullptr || tokenLength <= 0 || count < tokenLength)
        return -1;
    const uint8_t* end = reply + count;
    const uint8_t* found = std::search(reply, end, token, token + tokenLength);
    return found == end ? -1 : static_cast<int>(found - reply);
}

int ContainsToken(const uint8_t* reply, int count, std::string_view token)
{
    return ContainsToken(reply, count, reinterpret_cast<const uint8_t*>(token.data()),
                         static_cast<int>(token.size()));
}

namespace {

// The user-interface library switches the process to the user's locale, where the
// decimal point may be a comma; terminal versions always use a full stop.
#ifdef _WIN32
// No user-interface library runs on Windows, so the process keeps the C locale.
// The mingw runtime's own conversion reads numbers as the C99 one on Linux does
// (hexadecimal too), where the system runtime's strtod would not.
double ParseClassic(const char* text)
{
    return __mingw_strtod(text, nullptr);
}
#else
double ParseClassic(const char* text)
{
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (classic == static_cast<locale_t>(nullptr))
        return std::strtod(text, nullptr);
    return strtod_l(text, nullptr, classic);
}
#endif

} // namespace

double ParseNumber(const uint8_t* text, int length)
{
    if (text == nullptr || length <= 0)
        return 0.0;
    // A terminated copy: the reply buffer is not, and the parse must not run past
    // the received bytes.
    const std::string copy(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
    return ParseClassic(copy.c_str());
}

VersionReply ParseVersionReply(const uint8_t* reply, int count, float& version)
{
    if (ContainsToken(reply, count, RefusalToken) >= 0) {
        version = 0.0f;
        return VersionReply::Refused;
    }
    const int first = ContainsToken(reply, count, ApploaderMarker, 2);
    if (first < 0)
        return VersionReply::Unanswered;
    const int textStart = first + 2;
    const int second = ContainsToken(reply + textStart, count - textStart, ApploaderMarker, 2);
    if (second < 0)
        return VersionReply::Unanswered;
    version = static_cast<float>(ParseNumber(reply + textStart, second));
    return VersionReply::Reported;
}

bool FlowControlFromReply(const uint8_t* reply, int count, FlowControl& type)
{
    static constexpr struct {
        uint8_t reply;
        FlowControl type;
    } order[] = {
        {NoFlowReply, FlowControl::None},
        {XonXoffReply, FlowControl::XonXoff},
        {RtsCtsReply, FlowControl::RtsCts},
    };
    for (const auto& candidate : order) {
        if (ContainsToken(reply, count, &candidate.reply, 1) >= 0) {
            type = candidate.type;
            return true;
        }
    }
    return false;
}

const char* FlowControlName(FlowControl type)
{
    switch (type) {
    case FlowControl::XonXoff:
        return "Xon/Xoff";
    case FlowControl::RtsCts:
        return "RTS/CTS";
    default:
        return "no";
    }
}

} // namespace LoaderProtocol
