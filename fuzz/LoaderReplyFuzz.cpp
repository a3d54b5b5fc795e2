// Whatever a loader (or line noise) answers: token search, the firmware version
// between two apploader prompts and the flow-control byte must follow their
// rules and never look at a byte beyond the reply. The reply is copied into a
// buffer of exactly its length, so AddressSanitizer catches any such read.
//
// Input: a token length t (low 4 bits of the first byte), t token bytes, then
// the reply.
#include "FuzzCheck.h"
#include "LoaderProtocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

int Find(const uint8_t* reply, int count, const uint8_t* token, int length)
{
    if (length <= 0)
        return -1;
    for (int p = 0; p + length <= count; ++p)
        if (std::memcmp(reply + p, token, static_cast<size_t>(length)) == 0)
            return p;
    return -1;
}

const uint8_t Prompt[2] = {0xFF, 0x99};
const uint8_t Refusal[] = {'i', 'l', 'l', 'e', 'g', 'a', 'l'};

uint32_t Bits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 4096)
        return 0;
    const int tokenLength = std::min<int>(data[0] & 15, static_cast<int>(size) - 1);
    const int count = static_cast<int>(size) - 1 - tokenLength;
    auto token = std::make_unique<uint8_t[]>(static_cast<size_t>(tokenLength) + 1);
    std::memcpy(token.get(), data + 1, static_cast<size_t>(tokenLength));
    auto reply = std::make_unique<uint8_t[]>(static_cast<size_t>(count));
    std::memcpy(reply.get(), data + 1 + tokenLength, static_cast<size_t>(count));
    const uint8_t* r = reply.get();

    FUZZ_CHECK(LoaderProtocol::ContainsToken(r, count, token.get(), tokenLength) ==
               Find(r, count, token.get(), tokenLength));
    // Any shorter look at the same reply sees only its own bytes.
    for (int shorter : {0, count / 2, count - 1})
        if (shorter >= 0)
            FUZZ_CHECK(LoaderProtocol::ContainsToken(r, shorter, token.get(), tokenLength) ==
                       Find(r, shorter, token.get(), tokenLength));

    // The version reply: refused when "illegal" appears, else a number between
    // the first prompt and the next one, else no answer yet.
    float version = -1.0f;
    const LoaderProtocol::VersionReply verdict = LoaderProtocol::ParseVersionReply(r, count, version);
    const int first = Find(r, count, Prompt, 2);
    const int second = first < 0 ? -1 : Find(r + first + 2, count - first - 2, Prompt, 2);
    if (Find(r, count, Refusal, sizeof Refusal) >= 0) {
        FUZZ_CHECK(verdict == LoaderProtocol::VersionReply::Refused);
        FUZZ_CHECK(version == 0.0f);
    } else if (second < 0) {
        FUZZ_CHECK(verdict == LoaderProtocol::VersionReply::Unanswered);
        FUZZ_CHECK(Bits(version) == Bits(-1.0f)); // left alone
    } else {
        FUZZ_CHECK(verdict == LoaderProtocol::VersionReply::Reported);
        // atof over the text between the prompts (the process runs in the C locale).
        const std::string text(reinterpret_cast<const char*>(r + first + 2), static_cast<size_t>(second));
        FUZZ_CHECK(Bits(version) == Bits(static_cast<float>(std::atof(text.c_str()))));
    }

    // The flow-control byte: 0x80, then 0x81, then 0x82; the first present decides.
    FlowControl type = FlowControl::DsrDtr;
    const bool found = LoaderProtocol::FlowControlFromReply(r, count, type);
    const uint8_t none = 0x80, xonXoff = 0x81, rtsCts = 0x82;
    if (Find(r, count, &none, 1) >= 0)
        FUZZ_CHECK(found && type == FlowControl::None);
    else if (Find(r, count, &xonXoff, 1) >= 0)
        FUZZ_CHECK(found && type == FlowControl::XonXoff);
    else if (Find(r, count, &rtsCts, 1) >= 0)
        FUZZ_CHECK(found && type == FlowControl::RtsCts);
    else
        FUZZ_CHECK(!found && type == FlowControl::DsrDtr);
    return 0;
}
