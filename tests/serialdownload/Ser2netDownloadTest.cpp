#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "DownloadTexts.h"
#include "ConsolePort.h"
#include "DelayingProxy.h"
#include "NotifyTarget.h"
#include "Ser2netServer.h"
#include "SerialMessages.h"
#include "TerminalFixture.h"
#include "UserFolders.h"

// Downloads to the simulated terminal through Debian's ser2net: the simulator's
// pseudo-terminal behind a loopback port that speaks RFC 2217, named COM70 by
// a link to its address as an operator would name it. The simulator checks
// the rate and flow control that ser2net sets on its line, so a change that
// never reaches the far line fails the download.
namespace {

namespace fs = std::filesystem;

constexpr int NetworkCom = 70;

class ReceivedCounter : public NotifyTarget {
public:
    void Post(uint32_t message) override
    {
        if (message == WM_SERIAL_RECEIVED)
            received.fetch_add(1);
    }
    std::atomic<int> received{0};
};

class Ser2netDownloadTest : public TerminalFixture {
protected:
    void SetUp() override
    {
        TerminalFixture::SetUp();
        if (!Ser2netServer::Installed())
            GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh test)";
    }

    void TearDown() override
    {
        port.reset();
        proxy.Stop();
        server.Stop();
        TerminalFixture::TearDown();
    }

    // The terminal, ser2net in front of it, optionally the delaying proxy in
    // front of that, and COM70 pointing at the outermost.
    void StartChain(const TerminalOptions& options, bool delayed = false)
    {
        StartTerminal(options);
        std::string error;
        ASSERT_TRUE(server.Start(terminal->SlavePath(), folder, &error)) << error;
        uint16_t front = server.Port();
        if (delayed) {
            ASSERT_TRUE(proxy.Start(front, std::chrono::milliseconds(20), &error)) << error;
            front = proxy.Port();
        }
        url = "rfc2217://127.0.0.1:" + std::to_string(front);
        fs::create_directories(UserFolders::ComAliasFolder());
        fs::create_symlink(url, fs::path(UserFolders::ComAliasFolder()) / ("COM" + std::to_string(NetworkCom)));
    }

    void OpenNetworkPort(uint32_t rate = 115200, int parity = NoParity)
    {
        port = std::make_shared<SerialPort>();
        ASSERT_TRUE(port->OpenByNumber(NetworkCom, rate, 0, parity, OneStopBit, 8, FlowControl::None))
            << port->LastOpenDetail();
    }

    void ExpectImage(const std::vector<uint8_t>& file)
    {
        ReceivedImage received;
        ASSERT_TRUE(terminal->WaitForImage(EventDeadline, &received));
        EXPECT_TRUE(received.accepted) << received.verdict;
        EXPECT_EQ(received.bytes, file);
    }

    // A firmware to an old apploader at 9600 8e1: "R;", then the bootloader at
    // 115200 8N1 behind a new connection.
    void FirmwareThroughAReset(bool delayed)
    {
        TerminalOptions options;
        options.apploaderRate = 9600;
        options.apploaderFormat = "8e1";
        options.firmwareVersion.clear(); // no version command: "illegal"
        StartChain(options, delayed);
        OpenNetworkPort(9600, EvenParity);

        const std::vector<uint8_t> image = RandomBytes(6000, 23);
        RunDownload(WriteFile("fw.bin", image), Firmware);

        EXPECT_EQ(reporter.FinalStatus(), DownloadFinishedText);
        EXPECT_EQ(terminal->Commands(), (std::vector<std::string>{"Q;", "Q;W;Q;", "R;", "Q;", "Q;"}));
        ExpectImage(image);
        // The bootloader takes nothing but 115200 8N1, so the image proves the rate got there.
        EXPECT_EQ(terminal->CurrentLoader(), TerminalLoader::Bootloader);
        EXPECT_EQ(port->AppliedLine().baudRate, 115200u);
    }

    void ApplicationWithFlowControl(int reply)
    {
        TerminalOptions options;
        options.flowControlReply = reply;
        const std::vector<uint8_t> file = RandomBytes(8000, static_cast<unsigned>(reply));
        options.expectedImageSize = file.size();
        StartChain(options);
        OpenNetworkPort();

        RunDownload(WriteFile("app.bff", file), Application);

        EXPECT_EQ(reporter.FinalStatus(), DownloadFinishedText);
        // The simulator refuses an image whose line lacks the loader's flow control.
        ExpectImage(file);
    }

    Ser2netServer server;
    DelayingProxy proxy;
    std::string url;
};

TEST_F(Ser2netDownloadTest, FirmwareToAnOldApploaderAt9600EvenResetsIntoTheBootloaderAt115200)
{
    FirmwareThroughAReset(false);
}

TEST_F(Ser2netDownloadTest, TheDialogueKeepsItsWindowsThroughANetworkThatDelaysEachWayBy20Ms)
{
    FirmwareThroughAReset(true);
}

TEST_F(Ser2netDownloadTest, AnApplicationWithXonXoffSwitchesTheFarLineToIt)
{
    ApplicationWithFlowControl(0x81);
}

TEST_F(Ser2netDownloadTest, AnApplicationWithRtsCtsSwitchesTheFarLineToIt)
{
    ApplicationWithFlowControl(0x82);
}

TEST_F(Ser2netDownloadTest, AnImageOfNothingButFFArrivesWhole)
{
    // 0xFF is Telnet's command byte: doubled on the way out, one byte on the line.
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    StartChain(options);
    OpenNetworkPort();
    const std::vector<uint8_t> image(5000, 0xFF);
    RunDownload(WriteFile("ff.bin", image), Firmware);
    EXPECT_EQ(reporter.FinalStatus(), DownloadFinishedText);
    ExpectImage(image);
}

TEST_F(Ser2netDownloadTest, ConsoleChatterReachesTheWindowsPortWithItsMarkers)
{
    TerminalOptions options;
    options.chatterIntervalMs = 5;
    options.chatterAlways = true;
    StartChain(options);

    ReceivedCounter window;
    ConsolePort console(&window);
    ASSERT_TRUE(console.Open({"COM" + std::to_string(NetworkCom) + " (" + url + ")", "115200", "8n1"}))
        << console.LastOpenDetail();
    std::string shown;
    ASSERT_TRUE(Eventually([&] {
        uint8_t buffer[1024];
        if (window.received.load() > 0)
            for (int count; (count = console.ReadForDisplay(buffer, sizeof buffer)) > 0;)
                shown.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(count));
        return shown.find("status 3: running") != std::string::npos;
    })) << shown;
    EXPECT_EQ(console.CheckLoss(), ConsolePort::Loss::None);

    // Stopping the device server is a vanished device, as a pulled adapter is.
    server.Stop();
    ASSERT_TRUE(Eventually([&] { return console.CheckLoss() == ConsolePort::Loss::DeviceLost; }));
    EXPECT_EQ(console.LossText(ConsolePort::Loss::DeviceLost), SerialMessages::ConnectionLost(NetworkCom));
}

TEST_F(Ser2netDownloadTest, StoppingSer2netMidDownloadEndsItAsALostConnection)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    options.paceLine = true; // about 6 s for the image: long enough to be cut
    StartChain(options);
    OpenNetworkPort();

    StartDownload(WriteFile("big.bin", RandomBytes(64 * 1024, 5)), Firmware);
    ASSERT_TRUE(terminal->WaitForEvent(
        [](const TerminalEvent& event) { return event.kind == TerminalEvent::Kind::ImageStarted; },
        EventDeadline));
    server.Stop();
    WaitForEnd();

    EXPECT_EQ(reporter.FinalStatus(), SerialMessages::ConnectionLost(NetworkCom));
    EXPECT_TRUE(port->HasFailed());
    EXPECT_TRUE(terminal->Images().empty() || !terminal->Images().front().accepted);
}

TEST_F(Ser2netDownloadTest, ASecondClientIsToldThatThePortIsInUse)
{
    StartChain(TerminalOptions{});
    OpenNetworkPort();

    SerialPort second;
    EXPECT_FALSE(second.OpenByNumber(NetworkCom, 115200, 0, NoParity, OneStopBit, 8, FlowControl::None));
    EXPECT_EQ(second.LastOpenError(), SerialOpenError::InUse);
    EXPECT_NE(second.LastOpenDetail().find("Another client is using " + url), std::string::npos)
        << second.LastOpenDetail();
    // The first client keeps its port.
    EXPECT_FALSE(port->HasFailed());
}

TEST(NetworkPortOpen, AnAddressWhereNothingListensFailsAtOnceSayingSo)
{
    const std::string url = "rfc2217://127.0.0.1:" + std::to_string(FreeLoopbackPort());
    SerialPort port;
    EXPECT_FALSE(port.Open(url, 115200, 0, NoParity, OneStopBit, 8, FlowControl::None));
    EXPECT_EQ(port.LastOpenError(), SerialOpenError::NoSuchDevice);
    EXPECT_NE(port.LastOpenDetail().find(url + " refused the connection"), std::string::npos) << port.LastOpenDetail();
    EXPECT_FALSE(port.IsOpen());
}

TEST(NetworkPortOpen, AHostThatNeverAnswersEndsTheOpenWithinSecondsSayingSo)
{
    // A listener whose queue is full drops further connection requests
    // unanswered, as a switched-off host or a lost route does.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const int queued = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(queued, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string url = "rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    SerialPort port;
    EXPECT_FALSE(port.Open(url, 115200, 0, NoParity, OneStopBit, 8, FlowControl::None));
    EXPECT_EQ(port.LastOpenError(), SerialOpenError::NoSuchDevice);
    EXPECT_NE(port.LastOpenDetail().find(url + " did not answer within 3 seconds: the host is unreachable"),
              std::string::npos)
        << port.LastOpenDetail();
    ::close(queued);
    ::close(listener);
}

TEST(NetworkPortOpen, AServerThatNeverNegotiatesIsNoSerialPortAndTheOpenEnds)
{
    // A raw TCP port (ser2net's plain "tcp" accepter, a printer...) answers nothing.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string url = "rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    SerialPort port;
    EXPECT_FALSE(port.Open(url, 115200, 0, NoParity, OneStopBit, 8, FlowControl::None));
    EXPECT_NE(port.LastOpenDetail().find("does not control a serial port"), std::string::npos)
        << port.LastOpenDetail();
    ::close(listener);
}

} // namespace
