#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "LoaderProtocol.h"
#include "SerialPort.h"

// The question-and-answer exchanges with the terminal's loaders over one port.
// Every query sends its command, gives the terminal one reply window and takes
// whatever has arrived by then; a later reply stays queued for the next query.
// Used by one thread at a time, while the port's notifications are disarmed so
// that no one else reads the replies.
class LoaderDialogue {
public:
    explicit LoaderDialogue(std::shared_ptr<SerialPort> port);

    // Queues the command's bytes without waiting for them to leave.
    bool SendCommand(std::string_view command);
    // Takes what has arrived so far, at most ReplyBufferSize bytes, without waiting.
    int ReadReply();

    // Which loader answers "Q;": true in *bootloader when it is the bootloader.
    bool QueryLoader(bool& bootloader);
    bool QueryFlowControl(FlowControl& type);
    // Up to three tries; a refusal counts as version 0.
    bool QueryFirmwareVersion(float& version);
    // "R;", then reopen the port at the bootloader's line settings and confirm.
    bool ResetToBootloader();
    // "A;", or "B;" when that is refused, then confirm the apploader answers.
    bool StartApploader();

    // The port could not be opened again after a reset; it is closed now.
    bool ReopenFailed() const { return reopenFailed; }

    static constexpr int VersionAttempts = 3;

private:
    // Sends, waits one reply window, reads; returns the reply's byte count.
    int Exchange(std::string_view command);

    std::shared_ptr<SerialPort> port;
    std::array<uint8_t, LoaderProtocol::ReplyBufferSize> reply{};
    bool reopenFailed = false;
};
