#pragma once

#include <cstdint>
#include <functional>

class SerialPort;

// The steps that bring a terminal into its bootloader while the operator cycles
// its power: ask which loader runs, reset an apploader, send "IIIII" until the
// terminal reports "NOTICE", then wait for "Entering". Each step does one round
// and returns; the dialog that drives it schedules the next, so the window stays
// responsive in between. Every byte read is handed to `shown` as it arrives.
class BootloaderInduction {
public:
    using Sink = std::function<void(const uint8_t* bytes, int count)>;

    enum class ProbeResult {
        InBootloader,  // the bootloader answered: done
        ResetSent,     // the apploader answered and was told "R;": probe again
        NotRecognised, // nothing known answered: go on to Induce
    };

    explicit BootloaderInduction(Sink shown) : shown(std::move(shown)) {}

    ProbeResult Probe(SerialPort& port);
    bool Induce(SerialPort& port);
    bool Confirm(SerialPort& port);

    // Whether pattern occurs, byte for byte, wholly inside the held bytes.
    static bool ContainsBytes(const uint8_t* held, int count, const char* pattern, int length);

    static constexpr int ReplyCapacity = 1000;
    // Trimming keeps at most this many bytes, dropping the oldest in steps of TrimStep.
    static constexpr int KeptBytes = 500;
    static constexpr int TrimStep = 100;
    // The terminal answers "Q;" within this window.
    static constexpr int ProbeReplyMs = 100;
    // A reset apploader needs this long before the bootloader answers.
    static constexpr int ResetSettleMs = 200;

    int HeldCount() const { return replyCount; }

private:
    bool ReadAndSearch(SerialPort& port, const char* pattern, int length);

    Sink shown;
    uint8_t replyBuffer[ReplyCapacity] = {};
    int replyCount = 0;
};
