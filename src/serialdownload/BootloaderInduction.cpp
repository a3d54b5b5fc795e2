#include "BootloaderInduction.h"

#include "LoaderProtocol.h"
#include "SerialPort.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace {

void Send(SerialPort& port, const char* text)
{
    port.Write(reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(std::strlen(text)), false);
}

void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool Holds(const uint8_t* held, int count, const uint8_t (&marker)[2])
{
    return LoaderProtocol::ContainsToken(held, count, marker, 2) >= 0;
}

} // namespace

bool BootloaderInduction::ContainsBytes(const uint8_t* held, int count, const char* pattern, int length)
{
    for (int start = 0; start + length <= count; ++start)
        if (std::memcmp(held + start, pattern, static_cast<size_t>(length)) == 0)
            return true;
    return false;
}

BootloaderInduction::ProbeResult BootloaderInduction::Probe(SerialPort& port)
{
    Send(port, "Q;");
    SleepMs(ProbeReplyMs);
    replyCount = port.Read(replyBuffer, ReplyCapacity, 0);
    if (replyCount > 0 && shown)
        shown(replyBuffer, replyCount);
    if (Holds(replyBuffer, replyCount, LoaderProtocol::BootloaderMarker)) {
        replyCount = 0;
        return ProbeResult::InBootloader;
    }
    if (Holds(replyBuffer, replyCount, LoaderProtocol::ApploaderMarker)) {
        Send(port, "R;");
        SleepMs(ResetSettleMs);
        return ProbeResult::ResetSent;
    }
    // What was read stays held: "NOTICE" may already be among it.
    return ProbeResult::NotRecognised;
}

bool BootloaderInduction::Induce(SerialPort& port)
{
    Send(port, "IIIII");
    return ReadAndSearch(port, "NOTICE", 6);
}

bool BootloaderInduction::Confirm(SerialPort& port)
{
    return ReadAndSearch(port, "Entering", 8);
}

bool BootloaderInduction::ReadAndSearch(SerialPort& port, const char* pattern, int length)
{
    const int old = replyCount;
    replyCount += port.Read(replyBuffer + replyCount, ReplyCapacity - replyCount, 0);
    if (replyCount > old && shown)
        shown(replyBuffer + old, replyCount - old);
    while (replyCount > KeptBytes) {
        std::memmove(replyBuffer, replyBuffer + TrimStep, static_cast<size_t>(replyCount - TrimStep));
        replyCount -= TrimStep;
    }
    return ContainsBytes(replyBuffer, replyCount, pattern, length);
}
