#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The client side of Telnet with the Com Port Control Option (RFC 2217): what
// goes on the wire to a serial device server and what comes back. It moves no
// bytes itself: the network device hands it what the connection received and
// sends what it produces, so it is the same on every platform and is tested
// without a network.
//
// Outgoing data has every 0xFF (IAC) doubled; incoming data has doubled IACs
// undoubled and every Telnet command taken out. The server's answers to
// option negotiation and to Com Port Control commands are recorded; answers
// the protocol demands of us (refusing options we do not want) are queued in
// Replies().
class Rfc2217Codec {
public:
    // Telnet.
    static constexpr uint8_t Iac = 255;
    static constexpr uint8_t Dont = 254;
    static constexpr uint8_t Do = 253;
    static constexpr uint8_t Wont = 252;
    static constexpr uint8_t Will = 251;
    static constexpr uint8_t Sb = 250;
    static constexpr uint8_t Se = 240;
    static constexpr uint8_t OptionBinary = 0;
    static constexpr uint8_t OptionSuppressGoAhead = 3;
    static constexpr uint8_t OptionComPort = 44;

    // Com Port Control commands, client to server; the server answers with the
    // same command plus ServerOffset.
    static constexpr uint8_t SetBaudRate = 1;
    static constexpr uint8_t SetDataSize = 2;
    static constexpr uint8_t SetParity = 3;
    static constexpr uint8_t SetStopSize = 4;
    static constexpr uint8_t SetControl = 5;
    static constexpr uint8_t PurgeData = 12;
    static constexpr uint8_t ServerOffset = 100;
    static constexpr uint8_t CommandCount = 13;

    // SET-CONTROL values.
    static constexpr uint8_t ControlNoFlow = 1;
    static constexpr uint8_t ControlXonXoff = 2;
    static constexpr uint8_t ControlHardware = 3;
    static constexpr uint8_t ControlDtrOn = 8;
    static constexpr uint8_t ControlDtrOff = 9;
    static constexpr uint8_t ControlRtsOn = 11;
    static constexpr uint8_t ControlRtsOff = 12;
    static constexpr uint8_t ControlInboundNoFlow = 14;
    static constexpr uint8_t ControlInboundXonXoff = 15;
    static constexpr uint8_t ControlInboundHardware = 16;

    // PURGE-DATA values: what the server still holds from the serial line for
    // us, and what it still holds for the serial line.
    static constexpr uint8_t PurgeReceived = 1;
    static constexpr uint8_t PurgeTransmitted = 2;

    // How an option we asked for stands.
    enum class Option { Asked, Accepted, Refused };

    // The latest answer to one Com Port Control command.
    struct Answer {
        uint32_t count = 0; // answers seen so far
        std::vector<uint8_t> value;
        // How many data bytes the Decode call that brought it had stored
        // before it: what came before a purge's answer is stale.
        size_t dataBefore = 0;
    };

    // Our opening: BINARY both ways, SUPPRESS-GO-AHEAD both ways, and that we
    // will control the server's serial port.
    static void AppendNegotiation(std::vector<uint8_t>& out);
    // A Com Port Control command with its value (IACs in the value doubled).
    static void AppendCommand(uint8_t command, const uint8_t* value, size_t length, std::vector<uint8_t>& out);
    static void AppendCommand(uint8_t command, uint8_t value, std::vector<uint8_t>& out);
    // SET-BAUDRATE: the rate as four bytes, most significant first.
    static void AppendBaudRate(uint32_t rate, std::vector<uint8_t>& out);
    // Data bytes, with each IAC doubled.
    static void AppendData(const uint8_t* data, size_t length, std::vector<uint8_t>& out);

    // Takes received bytes, stores the data among them in `data` (room for
    // `length` bytes is enough: data never grows) and returns its count.
    size_t Decode(const uint8_t* in, size_t length, uint8_t* data);

    // Bytes the protocol requires us to send in answer; taken once.
    std::vector<uint8_t> TakeReplies();

    Option ComPort() const { return comPort; }
    const Answer& AnswerTo(uint8_t command) const;

    // Forgets everything: for a new connection.
    void Reset();

private:
    enum class State { Data, Iac, Verb, Subnegotiation, SubnegotiationIac };

    void HandleVerb(uint8_t verb, uint8_t option);
    void EndSubnegotiation();

    State state = State::Data;
    size_t decodedSoFar = 0; // data bytes stored by the running Decode call
    uint8_t verb = 0;
    std::vector<uint8_t> subnegotiation;
    bool subnegotiationTooLong = false;
    std::vector<uint8_t> replies;
    Option comPort = Option::Asked;
    Answer answers[CommandCount];
};
