#include "UdpSocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr uint16_t SocketsVersion = 0x0101;

// The socket layer as the TFTP client uses it, on loopback: a client socket
// and a bound peer that plays the unit.
class UdpSocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        uint16_t granted = 0;
        ASSERT_TRUE(UdpSocket::StartUp(SocketsVersion, granted));
        started = true;
        EXPECT_EQ(granted, SocketsVersion) << "the client asks for Windows Sockets 1.1 and checks the grant";
        ASSERT_TRUE(client.Open());
        ASSERT_TRUE(unit.Open());
        ASSERT_TRUE(unit.Bind(UdpSocket::EndpointOf("127.0.0.1", 0)));
        unitAt = unit.LocalEndpoint();
        ASSERT_NE(unitAt.port, 0);
    }
    void TearDown() override
    {
        if (started)
            UdpSocket::CleanUp();
    }

    bool started = false;
    UdpSocket client;
    UdpSocket unit;
    UdpSocket::Endpoint unitAt;
};

TEST_F(UdpSocketTest, ADatagramCrossesLoopbackAndTheReplyNamesItsSender)
{
    const std::vector<uint8_t> request = {0, 2, 'b', 'f', 'f'};
    ASSERT_EQ(client.SendTo(request.data(), request.size(), unitAt), UdpSocket::SendResult::Sent);
    ASSERT_TRUE(unit.WaitReadable(2s));
    uint8_t got[16] = {};
    UdpSocket::Endpoint from;
    ASSERT_EQ(unit.ReceiveFrom(got, sizeof got, from), static_cast<long>(request.size()));
    EXPECT_EQ(std::vector<uint8_t>(got, got + request.size()), request);

    const uint8_t ack[4] = {0, 4, 0, 0};
    ASSERT_EQ(unit.SendTo(ack, sizeof ack, from), UdpSocket::SendResult::Sent);
    ASSERT_TRUE(client.WaitReadable(2s));
    UdpSocket::Endpoint replier;
    EXPECT_EQ(client.ReceiveFrom(got, sizeof got, replier), 4);
    EXPECT_EQ(replier, unitAt) << "the data phase listens only to the unit that answered";
}

TEST_F(UdpSocketTest, WaitingEndsAtItsLimitAndTakingNothingFails)
{
    EXPECT_FALSE(client.WaitReadable(30ms));
    EXPECT_FALSE(client.WaitReadable(-5ms)) << "a deadline already past is no wait at all";
    uint8_t got[4];
    UdpSocket::Endpoint from;
    EXPECT_EQ(unit.ReceiveFrom(got, sizeof got, from), -1) << "never blocks when nothing waits";
}

TEST_F(UdpSocketTest, AnOversizedDatagramArrivesCutToTheBuffer)
{
    // A unit's ERROR with a long text: only its head is read, but it must arrive.
    std::vector<uint8_t> error(300, 'x');
    error[0] = 0;
    error[1] = 5;
    ASSERT_EQ(client.SendTo(error.data(), error.size(), unitAt), UdpSocket::SendResult::Sent);
    ASSERT_TRUE(unit.WaitReadable(2s));
    uint8_t got[100] = {};
    UdpSocket::Endpoint from;
    EXPECT_EQ(unit.ReceiveFrom(got, sizeof got, from), 100);
    EXPECT_EQ(got[1], 5);
}

TEST_F(UdpSocketTest, TextThatIsNoAddressBecomesTheBroadcastAddress)
{
    EXPECT_EQ(UdpSocket::EndpointOf("not an address", 69).address, 0xFFFFFFFFu);
    const UdpSocket::Endpoint unit69 = UdpSocket::EndpointOf("192.168.1.50", 69);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&unit69.address);
    EXPECT_EQ(bytes[0], 192) << "network byte order, as on the wire";
    EXPECT_EQ(bytes[3], 50);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&unit69.port)[1], 69);
}

} // namespace
