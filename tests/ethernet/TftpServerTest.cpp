#include "TftpServer.h"

#include "TestSupport.h"

#include <algorithm>
#include <memory>
#include <mutex>

using namespace ethernettest;

namespace {

// Drives the simulated unit with hand-made packets.
class TftpServerTest : public ::testing::Test {
protected:
    void StartUnit(TftpServerOptions options = {})
    {
        options.port = 0;
        options.endIdleMs = 400;
        unit = std::make_unique<TftpServer>(options, [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(logMutex);
            log.push_back(line);
        });
        std::string error;
        ASSERT_TRUE(unit->Start(&error)) << error;
    }

    // Sends to the unit's main port and returns the answer.
    Received Exchange(const UdpPeer& client, const std::vector<uint8_t>& packet)
    {
        client.SendTo(unit->BoundPort(), packet);
        const auto answer = client.Receive();
        EXPECT_TRUE(answer);
        return answer.value_or(Received{});
    }

    bool Logged(const std::string& part)
    {
        std::lock_guard<std::mutex> lock(logMutex);
        return std::any_of(log.begin(), log.end(),
                           [&](const std::string& line) { return line.find(part) != std::string::npos; });
    }

    std::mutex logMutex;
    std::vector<std::string> log;
    std::unique_ptr<TftpServer> unit; // last: stopped before the log goes
};

TEST_F(TftpServerTest, AcknowledgesFromItsOwnPortAndStoresEachBlockOnce)
{
    StartUnit();
    UdpPeer client;
    const Received ack0 = Exchange(client, WriteRequest("bin.bin"));
    EXPECT_EQ(ack0.bytes, Packet(4, 0));
    const uint16_t p = ack0.FromPort();
    EXPECT_NE(p, unit->BoundPort());
    // A repeated request before any block is answered again, from the same port.
    EXPECT_EQ(Exchange(client, WriteRequest("bin.bin")).FromPort(), p);

    const auto first = Pattern(1024, 1), last = Pattern(5, 2);
    for (int copy = 0; copy < 2; ++copy) {
        const Received ack = Exchange(client, Packet(3, 1, first));
        EXPECT_EQ(ack.bytes, Packet(4, 1));
        EXPECT_EQ(ack.FromPort(), p);
    }
    EXPECT_EQ(Exchange(client, Packet(3, 2, last)).bytes, Packet(4, 2));

    const auto files = unit->ReceivedFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "bin.bin");
    auto expected = first;
    expected.insert(expected.end(), last.begin(), last.end());
    EXPECT_EQ(files[0].bytes, expected);
    EXPECT_EQ(unit->Stats().duplicateData, 1u);
    EXPECT_TRUE(Logged("receiving bin.bin from 127.0.0.1:" + std::to_string(client.port)));
    EXPECT_TRUE(Logged("bin.bin finished, 1029 bytes in 2 blocks"));
}

TEST_F(TftpServerTest, RefusesWhatTheUnitDoesNotTake)
{
    StartUnit();
    UdpPeer client;
    const std::vector<std::vector<uint8_t>> refused = {
        WriteRequest("other.bin"),
        WriteRequest("bff.bff", "netascii"),
        {0, 1, 'b', 'i', 'n', '.', 'b', 'i', 'n', 0, 'o', 'c', 't', 'e', 't', 0}, // read request
        {0, 2, 'b', 'f', 'f'},                                                 // no terminator
    };
    for (const auto& packet : refused) {
        const Received answer = Exchange(client, packet);
        EXPECT_EQ(answer.Opcode(), 5);
        EXPECT_EQ(answer.Field(), 4);
        EXPECT_EQ(answer.FromPort(), unit->BoundPort());
    }
    // DATA outside a transfer is not answered at all; the next request is.
    client.SendTo(unit->BoundPort(), Packet(3, 1, Pattern(10)));
    EXPECT_EQ(Exchange(client, WriteRequest("BFF.BFF")).Opcode(), 5);
    EXPECT_EQ(Exchange(client, WriteRequest("bff.bff", "OCTET")).bytes, Packet(4, 0));
    EXPECT_TRUE(unit->ReceivedFiles().empty());
}

TEST_F(TftpServerTest, FullLastBlockEndsOnSilenceOrANewRequest)
{
    StartUnit();
    UdpPeer first, second, third;
    Exchange(first, WriteRequest("bff.bff"));
    Exchange(first, Packet(3, 1, Pattern(1024, 1)));
    ASSERT_TRUE(WaitUntil([&] { return unit->ReceivedFiles().size() == 1; }));

    Exchange(second, WriteRequest("bin.bin"));
    Exchange(second, Packet(3, 1, Pattern(1024, 2)));
    Exchange(second, Packet(3, 2, Pattern(1024, 3)));
    // Another client's request ends it at once.
    EXPECT_EQ(Exchange(third, WriteRequest("bff.bff")).bytes, Packet(4, 0));
    const auto files = unit->ReceivedFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].bytes, Pattern(1024, 1));
    EXPECT_EQ(files[1].name, "bin.bin");
    EXPECT_EQ(files[1].bytes.size(), 2048u);
}

TEST_F(TftpServerTest, RequestErrorsLastTheirCountOrTheirTime)
{
    TftpServerOptions options;
    options.requestErrorCode = 1;
    options.requestErrorCount = 2;
    StartUnit(options);
    UdpPeer client;
    for (int i = 0; i < 2; ++i) {
        const Received refusal = Exchange(client, WriteRequest("bff.bff"));
        EXPECT_EQ(refusal.Opcode(), 5);
        EXPECT_EQ(refusal.Field(), 1);
    }
    EXPECT_EQ(Exchange(client, WriteRequest("bff.bff")).bytes, Packet(4, 0));

    options.requestErrorCount = 0;
    options.requestErrorCode = 3;
    options.requestErrorMs = 200;
    StartUnit(options);
    EXPECT_EQ(Exchange(client, WriteRequest("bff.bff")).Field(), 3);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Exchange(client, WriteRequest("bff.bff")).bytes, Packet(4, 0));
}

TEST_F(TftpServerTest, DataErrorRefusesTheBlockAndTheTransfer)
{
    TftpServerOptions options;
    options.dataErrorCode = 0;
    options.dataErrorBlock = 2;
    StartUnit(options);
    UdpPeer client;
    const uint16_t p = Exchange(client, WriteRequest("bff.bff")).FromPort();
    EXPECT_EQ(Exchange(client, Packet(3, 1, Pattern(1024))).bytes, Packet(4, 1));
    // Said again should the client not have heard it.
    for (int copy = 0; copy < 2; ++copy) {
        const Received refusal = Exchange(client, Packet(3, 2, Pattern(10)));
        EXPECT_EQ(refusal.Opcode(), 5);
        EXPECT_EQ(refusal.Field(), 0);
        EXPECT_EQ(refusal.FromPort(), p);
    }
    std::this_thread::sleep_for(600ms); // past the idle end
    EXPECT_TRUE(unit->ReceivedFiles().empty());
}

TEST_F(TftpServerTest, SlowUnitTakesOneDatagramAtATimeAndDropsWhatItHasNoBufferFor)
{
    TftpServerOptions options;
    options.datagramCostMs = 50;
    options.receiveQueue = 8;
    StartUnit(options);
    UdpPeer client;
    const uint16_t p = Exchange(client, WriteRequest("bff.bff")).FromPort();
    // Twenty copies at once, while the request still occupies the unit: eight
    // wait in its buffers, twelve are lost, and each one taken is acknowledged.
    const auto block = Packet(3, 1, Pattern(1024));
    for (int i = 0; i < 20; ++i)
        client.SendTo(unit->BoundPort(), block);
    for (int i = 0; i < 8; ++i) {
        const auto ack = client.Receive();
        ASSERT_TRUE(ack);
        EXPECT_EQ(ack->bytes, Packet(4, 1));
        EXPECT_EQ(ack->FromPort(), p);
    }
    EXPECT_FALSE(client.Receive(200ms));
    const auto stats = unit->Stats();
    EXPECT_EQ(stats.dataArrived, 20u);
    EXPECT_EQ(stats.queueDrops, 12u);
    EXPECT_EQ(stats.blocksStored, 1u);
    EXPECT_EQ(stats.duplicateData, 7u);
}

TEST_F(TftpServerTest, TransferPortOnTheWildcardAnswersFromTheRoutesAddress)
{
    TftpServerOptions options;
    options.address = "127.0.0.2";
    options.transferAddress = "0.0.0.0";
    StartUnit(options);
    UdpPeer client;
    client.SendTo(unit->BoundPort(), WriteRequest("bin.bin"), "127.0.0.2");
    const auto ack0 = client.Receive();
    ASSERT_TRUE(ack0);
    EXPECT_EQ(ack0->bytes, Packet(4, 0));
    char from[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &ack0->from.sin_addr, from, sizeof from);
    EXPECT_EQ(std::string(from), "127.0.0.1");
}

TEST_F(TftpServerTest, FreshPortsMalformedDatagramsAndTheExactRequest)
{
    TftpServerOptions options;
    options.freshPortPerRequest = true;
    options.malformed = true;
    StartUnit(options);
    UdpPeer client;
    const uint16_t first = Exchange(client, WriteRequest("bff.bff")).FromPort();
    const uint16_t second = Exchange(client, WriteRequest("bff.bff")).FromPort();
    EXPECT_NE(first, second);
    EXPECT_NE(second, unit->BoundPort());

    // Before the ACK: empty, 3 bytes, 100 bytes, an unknown opcode, 2 bytes.
    client.SendTo(unit->BoundPort(), Packet(3, 1, Pattern(10)));
    std::vector<size_t> sizes;
    std::optional<Received> answer;
    while ((answer = client.Receive()) && answer->bytes != Packet(4, 1)) {
        EXPECT_EQ(answer->FromPort(), first);
        sizes.push_back(answer->bytes.size());
    }
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->FromPort(), first);
    EXPECT_EQ(sizes, (std::vector<size_t>{0, 3, 100, 4, 2}));
    EXPECT_EQ(unit->Stats().inexactRequests, 0u);

    // Anything but the 16 bytes a unit is sent is counted, and refused on request.
    auto withOption = WriteRequest("bin.bin");
    for (const char c : std::string("blksize\0" "1024", 12))
        withOption.push_back(static_cast<uint8_t>(c));
    withOption.push_back(0);
    UdpPeer other;
    EXPECT_EQ(Exchange(other, withOption).bytes, Packet(4, 0));
    EXPECT_EQ(unit->Stats().inexactRequests, 1u);
    options.exactRequest = true;
    options.malformed = false;
    StartUnit(options);
    EXPECT_EQ(Exchange(other, WriteRequest("bin.bin", "OCTET")).Field(), 4);
    EXPECT_EQ(Exchange(other, withOption).Opcode(), 5);
    EXPECT_EQ(Exchange(other, WriteRequest("bin.bin")).bytes, Packet(4, 0));
    EXPECT_EQ(unit->Stats().inexactRequests, 2u);
}

TEST_F(TftpServerTest, StartReportsWhyItCannotServe)
{
    StartUnit();
    TftpServerOptions taken;
    taken.port = unit->BoundPort();
    TftpServer second(taken);
    std::string error;
    EXPECT_FALSE(second.Start(&error));
    EXPECT_NE(error.find(std::to_string(taken.port)), std::string::npos) << error;

    TftpServerOptions nowhere;
    nowhere.address = "300.1.1.1";
    TftpServer third(nowhere);
    error.clear();
    EXPECT_FALSE(third.Start(&error));
    EXPECT_NE(error.find("300.1.1.1"), std::string::npos) << error;
}

} // namespace
