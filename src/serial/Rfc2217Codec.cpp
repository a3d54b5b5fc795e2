#include "Rfc2217Codec.h"

namespace {

// A Com Port Control answer is a command byte and at most four value bytes;
// anything far longer is not one we understand, and is not kept in full.
constexpr size_t kMaxSubnegotiation = 64;

bool WantedLocally(uint8_t option)
{
    return option == Rfc2217Codec::OptionBinary || option == Rfc2217Codec::OptionSuppressGoAhead ||
           option == Rfc2217Codec::OptionComPort;
}

bool WantedRemotely(uint8_t option)
{
    return option == Rfc2217Codec::OptionBinary || option == Rfc2217Codec::OptionSuppressGoAhead;
}

void AppendVerb(uint8_t verb, uint8_t option, std::vector<uint8_t>& out)
{
    out.push_back(Rfc2217Codec::Iac);
    out.push_back(verb);
    out.push_back(option);
}

} // namespace

void Rfc2217Codec::AppendNegotiation(std::vector<uint8_t>& out)
{
    AppendVerb(Will, OptionBinary, out);
    AppendVerb(Do, OptionBinary, out);
    AppendVerb(Will, OptionSuppressGoAhead, out);
    AppendVerb(Do, OptionSuppressGoAhead, out);
    AppendVerb(Will, OptionComPort, out);
}

void Rfc2217Codec::AppendCommand(uint8_t command, const uint8_t* value, size_t length, std::vector<uint8_t>& out)
{
    out.push_back(Iac);
    out.push_back(Sb);
    out.push_back(OptionComPort);
    out.push_back(command);
    AppendData(value, length, out);
    out.push_back(Iac);
    out.push_back(Se);
}

void Rfc2217Codec::AppendCommand(uint8_t command, uint8_t value, std::vector<uint8_t>& out)
{
    AppendCommand(command, &value, 1, out);
}

void Rfc2217Codec::AppendBaudRate(uint32_t rate, std::vector<uint8_t>& out)
{
    const uint8_t value[4] = {static_cast<uint8_t>(rate >> 24), static_cast<uint8_t>(rate >> 16),
                              static_cast<uint8_t>(rate >> 8), static_cast<uint8_t>(rate)};
    AppendCommand(SetBaudRate, value, sizeof value, out);
}

void Rfc2217Codec::AppendData(const uint8_t* data, size_t length, std::vector<uint8_t>& out)
{
    for (size_t i = 0; i < length; ++i) {
        out.push_back(data[i]);
        if (data[i] == Iac)
            out.push_back(Iac);
    }
}

size_t Rfc2217Codec::Decode(const uint8_t* in, size_t length, uint8_t* data)
{
    size_t count = 0;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = in[i];
        switch (state) {
        case State::Data:
            if (byte == Iac)
                state = State::Iac;
            else
                data[count++] = byte;
            break;
        case State::Iac:
            if (byte == Iac) {
                data[count++] = Iac;
                state = State::Data;
            } else if (byte == Will || byte == Wont || byte == Do || byte == Dont) {
                verb = byte;
                state = State::Verb;
            } else if (byte == Sb) {
                subnegotiation.clear();
                subnegotiationTooLong = false;
                state = State::Subnegotiation;
            } else {
                // NOP, GO-AHEAD, BREAK and the like carry nothing for us.
                state = State::Data;
            }
            break;
        case State::Verb:
            HandleVerb(verb, byte);
            state = State::Data;
            break;
        case State::Subnegotiation:
            if (byte == Iac) {
                state = State::SubnegotiationIac;
            } else if (subnegotiation.size() < kMaxSubnegotiation) {
                subnegotiation.push_back(byte);
            } else {
                subnegotiationTooLong = true;
            }
            break;
        case State::SubnegotiationIac:
            if (byte == Iac) {
                if (subnegotiation.size() < kMaxSubnegotiation)
                    subnegotiation.push_back(Iac);
                else
                    subnegotiationTooLong = true;
                state = State::Subnegotiation;
            } else {
                // SE ends it; any other command there is a broken server, and
                // ending the subnegotiation is the way back to its data.
                if (byte == Se) {
                    decodedSoFar = count;
                    EndSubnegotiation();
                }
                state = State::Data;
            }
            break;
        }
    }
    return count;
}

void Rfc2217Codec::HandleVerb(uint8_t received, uint8_t option)
{
    switch (received) {
    case Do:
        if (option == OptionComPort)
            comPort = Option::Accepted;
        // A wanted option was offered in our opening: this is the agreement.
        if (!WantedLocally(option))
            AppendVerb(Wont, option, replies);
        break;
    case Dont:
        if (option == OptionComPort && comPort != Option::Refused) {
            comPort = Option::Refused;
            AppendVerb(Wont, option, replies);
        }
        break;
    case Will:
        if (!WantedRemotely(option))
            AppendVerb(Dont, option, replies);
        break;
    case Wont:
        // The server keeps an option off; nothing is on that needs turning off.
        break;
    default:
        break;
    }
}

void Rfc2217Codec::EndSubnegotiation()
{
    if (subnegotiationTooLong || subnegotiation.size() < 2 || subnegotiation[0] != OptionComPort)
        return;
    const uint8_t command = subnegotiation[1];
    if (command < ServerOffset || command >= ServerOffset + CommandCount)
        return;
    Answer& answer = answers[command - ServerOffset];
    ++answer.count;
    answer.value.assign(subnegotiation.begin() + 2, subnegotiation.end());
    answer.dataBefore = decodedSoFar;
}

std::vector<uint8_t> Rfc2217Codec::TakeReplies()
{
    std::vector<uint8_t> taken;
    taken.swap(replies);
    return taken;
}

const Rfc2217Codec::Answer& Rfc2217Codec::AnswerTo(uint8_t command) const
{
    static const Answer none;
    return command < CommandCount ? answers[command] : none;
}

void Rfc2217Codec::Reset()
{
    *this = Rfc2217Codec();
}
