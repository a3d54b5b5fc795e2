#include "NetworkPortAddress.h"
#include "Rfc2217Codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t IAC = Rfc2217Codec::Iac;
constexpr uint8_t SB = Rfc2217Codec::Sb;
constexpr uint8_t SE = Rfc2217Codec::Se;
constexpr uint8_t COM = Rfc2217Codec::OptionComPort;

// Everything one Decode call of the whole input yields, and the same fed one
// byte at a time: a TCP stream may be cut anywhere.
struct Decoded {
    Bytes data;
    Bytes replies;
};

Decoded DecodeAll(Rfc2217Codec& codec, const Bytes& input)
{
    Decoded out;
    out.data.resize(input.size());
    out.data.resize(codec.Decode(input.data(), input.size(), out.data.data()));
    out.replies = codec.TakeReplies();
    return out;
}

Decoded DecodeBytewise(Rfc2217Codec& codec, const Bytes& input)
{
    Decoded out;
    for (uint8_t byte : input) {
        uint8_t data = 0;
        if (codec.Decode(&byte, 1, &data) == 1)
            out.data.push_back(data);
        const Bytes replies = codec.TakeReplies();
        out.replies.insert(out.replies.end(), replies.begin(), replies.end());
    }
    return out;
}

TEST(Rfc2217Codec, DataHasEveryIacDoubledOnTheWayOutAndUndoubledOnTheWayIn)
{
    // The apploader's marker begins with 0xFF.
    const Bytes data = {0xFF, 0x99, 'Q', ';', 0xFF, 0xFF, 0x00};
    Bytes wire;
    Rfc2217Codec::AppendData(data.data(), data.size(), wire);
    EXPECT_EQ(wire, (Bytes{0xFF, 0xFF, 0x99, 'Q', ';', 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));

    Rfc2217Codec whole;
    Rfc2217Codec bytewise;
    EXPECT_EQ(DecodeAll(whole, wire).data, data);
    EXPECT_EQ(DecodeBytewise(bytewise, wire).data, data);
}

TEST(Rfc2217Codec, CommandsCarryTheirValuesWithIacDoubled)
{
    Bytes wire;
    Rfc2217Codec::AppendBaudRate(115200, wire);
    EXPECT_EQ(wire, (Bytes{IAC, SB, COM, 1, 0x00, 0x01, 0xC2, 0x00, IAC, SE}));

    // A rate whose bytes include 0xFF must not end the subnegotiation early.
    wire.clear();
    Rfc2217Codec::AppendBaudRate(0x0001FFFF, wire);
    EXPECT_EQ(wire, (Bytes{IAC, SB, COM, 1, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, IAC, SE}));

    wire.clear();
    Rfc2217Codec::AppendCommand(Rfc2217Codec::PurgeData, Rfc2217Codec::PurgeReceived, wire);
    EXPECT_EQ(wire, (Bytes{IAC, SB, COM, 12, 1, IAC, SE}));

    wire.clear();
    Rfc2217Codec::AppendNegotiation(wire);
    EXPECT_EQ(wire, (Bytes{IAC, 251, 0, IAC, 253, 0, IAC, 251, 3, IAC, 253, 3, IAC, 251, COM}));
}

// What ser2net sends when a client connects, then answers to line settings,
// with terminal data in between.
const Bytes ServerGreeting = {IAC, 251, 3,  IAC, 253, 3,  IAC, 251, 1, IAC, 254, 1, IAC, 253, 0, IAC, 251, 0,
                              IAC, 253, COM, IAC, SB, COM, 107, 0, IAC, SE, 'o', 'k', IAC, SB, COM, 101,
                              0x00, 0x00, 0x25, 0x80, IAC, SE, IAC, IAC, 0x99, IAC, SB, COM, 105, 2, IAC, SE};

TEST(Rfc2217Codec, ServerAnswersAreRecordedAndTakenOutOfTheDataWhereverTheStreamIsCut)
{
    for (bool bytewise : {false, true}) {
        SCOPED_TRACE(bytewise ? "one byte at a time" : "all at once");
        Rfc2217Codec codec;
        EXPECT_EQ(codec.ComPort(), Rfc2217Codec::Option::Asked);
        const Decoded out = bytewise ? DecodeBytewise(codec, ServerGreeting) : DecodeAll(codec, ServerGreeting);

        EXPECT_EQ(out.data, (Bytes{'o', 'k', 0xFF, 0x99}));
        EXPECT_EQ(codec.ComPort(), Rfc2217Codec::Option::Accepted);
        EXPECT_EQ(codec.AnswerTo(Rfc2217Codec::SetBaudRate).count, 1u);
        EXPECT_EQ(codec.AnswerTo(Rfc2217Codec::SetBaudRate).value, (Bytes{0x00, 0x00, 0x25, 0x80}));
        EXPECT_EQ(codec.AnswerTo(Rfc2217Codec::SetControl).value, (Bytes{2}));
        EXPECT_EQ(codec.AnswerTo(Rfc2217Codec::SetParity).count, 0u);
        // The options we asked for are agreed silently; ECHO, which we did
        // not ask for, is declined.
        EXPECT_EQ(out.replies, (Bytes{IAC, 254, 1}));
    }
}

TEST(Rfc2217Codec, OptionsWeDoNotWantAreDeclinedAndARefusedComPortIsTold)
{
    Rfc2217Codec codec;
    const Decoded out = DecodeAll(codec, {IAC, 253, 24, IAC, 251, 5, IAC, 252, 0, IAC, 254, COM, IAC, 254, COM});
    EXPECT_TRUE(out.data.empty());
    EXPECT_EQ(codec.ComPort(), Rfc2217Codec::Option::Refused);
    // WONT terminal type, DONT status, nothing for a refused BINARY, one WONT
    // for the refused com port however often the server says it.
    EXPECT_EQ(out.replies, (Bytes{IAC, 252, 24, IAC, 254, 5, IAC, 252, COM}));
}

TEST(Rfc2217Codec, APurgeAnswerMarksWhichDataCameBeforeIt)
{
    Rfc2217Codec codec;
    const Decoded out = DecodeAll(codec, {'o', 'l', 'd', IAC, SB, COM, 112, 1, IAC, SE, 'n', 'e', 'w'});
    EXPECT_EQ(out.data, (Bytes{'o', 'l', 'd', 'n', 'e', 'w'}));
    EXPECT_EQ(codec.AnswerTo(Rfc2217Codec::PurgeData).count, 1u);
    EXPECT_EQ(codec.AnswerTo(Rfc2217Codec::PurgeData).dataBefore, 3u);
}

TEST(Rfc2217Codec, OversizedOrForeignSubnegotiationsAreDroppedAndDataGoesOn)
{
    Rfc2217Codec codec;
    Bytes input = {IAC, SB, COM, 101};
    input.insert(input.end(), 500, 0x41);
    input.insert(input.end(), {IAC, SE, 'a', IAC, SB, 24, 0, IAC, SE, 'b', IAC, 241, 'c'});
    const Decoded out = DecodeAll(codec, input);
    EXPECT_EQ(out.data, (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(codec.AnswerTo(Rfc2217Codec::SetBaudRate).count, 0u);
}

TEST(NetworkPortAddress, ReadsHostAndPortAndRefusesWhatIsNoAddress)
{
    NetworkPortAddress address;
    ASSERT_TRUE(NetworkPortAddress::Parse("rfc2217://10.0.0.5:4001", address));
    EXPECT_EQ(address.host, "10.0.0.5");
    EXPECT_EQ(address.port, 4001);
    EXPECT_EQ(address.Url(), "rfc2217://10.0.0.5:4001");
    ASSERT_TRUE(NetworkPortAddress::Parse("RFC2217://devserver-3.plant:7000", address));
    EXPECT_EQ(address.host, "devserver-3.plant");
    ASSERT_TRUE(NetworkPortAddress::Parse("rfc2217://[fe80::1]:4001", address));
    EXPECT_EQ(address.host, "fe80::1");
    EXPECT_EQ(address.Url(), "rfc2217://[fe80::1]:4001");

    std::string why;
    for (const char* bad : {"rfc2217://10.0.0.5", "rfc2217://:4001", "rfc2217://10.0.0.5:0", "rfc2217://10.0.0.5:65536",
                            "rfc2217://10.0.0.5:40x1", "rfc2217://a b:1", "rfc2217://[fe80::1:4001", "tcp://10.0.0.5:4001",
                            "COM70"}) {
        SCOPED_TRACE(bad);
        why.clear();
        EXPECT_FALSE(NetworkPortAddress::Parse(bad, address, &why));
        EXPECT_NE(why.find("rfc2217://HOST:PORT"), std::string::npos);
    }
    EXPECT_TRUE(NetworkPortAddress::IsNetworkName("rfc2217://x"));
    EXPECT_FALSE(NetworkPortAddress::IsNetworkName("/dev/ttyUSB0"));
}

} // namespace
