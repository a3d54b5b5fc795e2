#include "LoaderDialogue.h"

#include <chrono>
#include <thread>
#include <utility>

using namespace LoaderProtocol;

LoaderDialogue::LoaderDialogue(std::shared_ptr<SerialPort> port) : port(std::move(port)) {}

bool LoaderDialogue::SendCommand(std::string_view command)
{
    if (!port || reopenFailed)
        return false;
    port->Write(reinterpret_cast<const uint8_t*>(command.data()), static_cast<uint32_t>(command.size()),
                false);
    return true;
}

int LoaderDialogue::ReadReply()
{
    if (!port || reopenFailed)
        return 0;
    return port->Read(reply.data(), ReplyBufferSize, 0);
}

int LoaderDialogue::Exchange(std::string_view command)
{
    if (!SendCommand(command))
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(ReplyWindowMs));
    return ReadReply();
}

bool LoaderDialogue::QueryLoader(bool& bootloader)
{
    bootloader = false;
    const int count = Exchange(QueryStateCommand);
    if (ContainsToken(reply.data(), count, BootloaderMarker, 2) >= 0) {
        bootloader = true;
        return true;
    }
    return ContainsToken(reply.data(), count, ApploaderMarker, 2) >= 0;
}

bool LoaderDialogue::QueryFlowControl(FlowControl& type)
{
    type = FlowControl::None;
    const int count = Exchange(QueryFlowCommand);
    return FlowControlFromReply(reply.data(), count, type);
}

bool LoaderDialogue::QueryFirmwareVersion(float& version)
{
    for (int attempt = 0; attempt < VersionAttempts; ++attempt) {
        const int count = Exchange(QueryVersionCommand);
        if (ParseVersionReply(reply.data(), count, version) != VersionReply::Unanswered)
            return true;
    }
    return false;
}

bool LoaderDialogue::ResetToBootloader()
{
    if (!port || reopenFailed)
        return false;
    const int count = Exchange(ResetCommand);
    if (ContainsToken(reply.data(), count, RefusalToken) >= 0)
        return false;
    // The same port, by its number, or by its address when it has none (a
    // network port named directly); on a network port a new connection.
    if (!port->Reopen(BootloaderBaudRate, 0, NoParity, OneStopBit, 8, FlowControl::None)) {
        // Reading or writing a closed port is outside its contract: stop using it.
        reopenFailed = true;
        return false;
    }
    bool bootloader = false;
    return QueryLoader(bootloader) && bootloader;
}

bool LoaderDialogue::StartApploader()
{
    int count = Exchange(StartApploaderCommand);
    if (ContainsToken(reply.data(), count, RefusalToken) >= 0) {
        count = Exchange(StartApploaderAltCommand);
        if (ContainsToken(reply.data(), count, RefusalToken) >= 0)
            return false;
    }
    bool bootloader = true;
    return QueryLoader(bootloader) && !bootloader;
}
