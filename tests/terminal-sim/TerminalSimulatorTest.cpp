// The simulated unit as a program outside Vennix sees it: through the slave
// side of its pseudo-terminal, with plain termios.

#include "TerminalSimTestSupport.h"

#include "Crc16Ccitt.h"

#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>

namespace {

using Kind = TerminalEvent::Kind;

const std::vector<uint8_t> BootMarker = Bytes({0xAA, 0x55});
const std::vector<uint8_t> AppMarker = Bytes({0xFF, 0x99});

std::vector<uint8_t> FrameOf(const std::vector<uint8_t>& data)
{
    uint32_t n = static_cast<uint32_t>(data.size());
    uint32_t complement = 0u - n;
    std::vector<uint8_t> frame = {'S', ','};
    for (uint32_t value : {n, complement})
        for (int shift = 24; shift >= 0; shift -= 8)
            frame.push_back(static_cast<uint8_t>(value >> shift));
    frame.insert(frame.end(), data.begin(), data.end());
    uint16_t crc = Crc16Ccitt::Of(data.data(), data.size());
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    frame.push_back(static_cast<uint8_t>(crc));
    return frame;
}

std::vector<uint8_t> EveryByte(size_t count)
{
    std::vector<uint8_t> data(count);
    for (size_t i = 0; i < count; ++i)
        data[i] = static_cast<uint8_t>(i * 7 + 3);
    return data;
}

std::vector<uint8_t> Escaped(const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> line;
    for (uint8_t byte : data) {
        if (byte == 0x11 || byte == 0x13 || byte == 0xBF) {
            line.push_back(0xBF);
            line.push_back(static_cast<uint8_t>(byte | 0x80));
        } else {
            line.push_back(byte);
        }
    }
    return line;
}

class TerminalSimulatorTest : public ::testing::Test {
protected:
    void StartWith(TerminalOptions options)
    {
        sim = std::make_unique<TerminalSimulator>(std::move(options));
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        client = std::make_unique<SlaveClient>(sim->SlavePath());
        ASSERT_TRUE(client->IsOpen());
    }

    std::vector<uint8_t> Ask(const std::string& command, size_t replyLength)
    {
        client->Send(command);
        return client->Receive(replyLength);
    }

    size_t SentEvents() const
    {
        size_t count = 0;
        for (const TerminalEvent& e : sim->Events())
            count += e.kind == Kind::Sent ? 1 : 0;
        return count;
    }

    // Reads until what has come ends with (or, for text, contains) the wanted bytes.
    std::vector<uint8_t> ReceiveUntil(const std::function<bool(const std::vector<uint8_t>&)>& done)
    {
        std::vector<uint8_t> got;
        while (!done(got)) {
            std::vector<uint8_t> more = client->Receive(1, Eventually);
            if (more.empty())
                break;
            got.insert(got.end(), more.begin(), more.end());
        }
        return got;
    }

    bool WaitForText(Kind kind, const std::string& part)
    {
        return sim->WaitForEvent(
            [&](const TerminalEvent& e) { return e.kind == kind && e.text.find(part) != std::string::npos; }, Eventually);
    }

    // Brings the apploader to where it takes an image.
    void PrepareApploader(bool forFirmware, int flowReply)
    {
        ASSERT_EQ(Ask("Q;", 2), AppMarker);
        if (forFirmware) {
            ASSERT_EQ(Ask("Q;W;Q;", 8), Bytes({0xFF, 0x99, '1', '.', '5', '0', 0xFF, 0x99}));
        }
        ASSERT_EQ(Ask("F;", 1), Bytes({flowReply}));
        client->SetFlow(flowReply == 0x81, flowReply == 0x82);
    }

    TempUserFolders folders; // before the simulator: it reads the folders at Start
    std::unique_ptr<TerminalSimulator> sim;
    std::unique_ptr<SlaveClient> client;
};

TEST_F(TerminalSimulatorTest, PublishesAComAliasAndRemovesItOnStop)
{
    StartWith({});
    std::filesystem::path link = sim->AliasPath();
    EXPECT_EQ(sim->ComName(), "COM40");
    EXPECT_EQ(sim->ComNumber(), 40);
    EXPECT_EQ(link.filename(), "COM40");
    EXPECT_EQ(link.parent_path(), folders.Root() / "config" / "Tavrix Corporation" / "ports");
    EXPECT_EQ(std::filesystem::read_symlink(link), sim->SlavePath());

    TerminalSimulator second;
    std::string error;
    ASSERT_TRUE(second.Start(&error)) << error;
    EXPECT_EQ(second.ComName(), "COM41");

    TerminalOptions fixed;
    fixed.comNumber = 41;
    TerminalSimulator clash(fixed);
    EXPECT_FALSE(clash.Start(&error));
    EXPECT_NE(error.find("COM41"), std::string::npos);

    second.Stop();
    sim->Stop();
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_FALSE(std::filesystem::is_symlink(link.parent_path() / "COM41"));
    sim->Stop(); // twice is harmless
}

TEST_F(TerminalSimulatorTest, LineSurvivesTheFarEndClosingAndReopening)
{
    StartWith({});
    EXPECT_EQ(Ask("Q;", 2), AppMarker);
    client.reset();
    client = std::make_unique<SlaveClient>(sim->AliasPath());
    ASSERT_TRUE(client->IsOpen());
    EXPECT_EQ(Ask("Q;", 2), AppMarker);
}

TEST_F(TerminalSimulatorTest, ApploaderAnswersItsCommands)
{
    StartWith({});
    EXPECT_EQ(Ask("Q;", 2), AppMarker);
    EXPECT_EQ(Ask("Q;W;Q;", 8), Bytes({0xFF, 0x99, '1', '.', '5', '0', 0xFF, 0x99}));
    EXPECT_EQ(Ask("F;", 1), Bytes({0x81}));
    // "q;" asks for nothing: the next reply is the first thing on the line.
    EXPECT_EQ(Ask("q;Q;", 2), AppMarker);
    // "A;" and "B;" belong to the bootloader.
    EXPECT_EQ(Ask("A;Q;", 2), AppMarker);
    EXPECT_EQ(sim->Commands(), (std::vector<std::string>{"Q;", "Q;W;Q;", "F;", "q;", "Q;", "A;", "Q;"}));

    client->Send("R;");
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Bootloader, Eventually));
    EXPECT_EQ(Ask("Q;", 2), BootMarker);
    EXPECT_TRUE(client->Pending().empty());
}

TEST_F(TerminalSimulatorTest, BootloaderAnswersItsCommands)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    StartWith(options);
    EXPECT_EQ(Ask("Q;", 2), BootMarker);
    // No flow-control query, no version, no reset in the bootloader.
    EXPECT_EQ(Ask("F;R;q;Q;", 2), BootMarker);
    EXPECT_EQ(sim->CurrentLoader(), TerminalLoader::Bootloader);

    client->Send("A;");
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Apploader, Eventually));
    EXPECT_EQ(Ask("Q;", 2), AppMarker);
    sim->SetLoader(TerminalLoader::Bootloader);
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Bootloader, Eventually));
    client->Send("B;");
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Apploader, Eventually));
}

TEST_F(TerminalSimulatorTest, RefusalsAndMissingVersionCommandSayIllegal)
{
    TerminalOptions options;
    options.firmwareVersion.clear();
    options.refuseR = true;
    options.refuseA = true;
    StartWith(options);

    std::vector<uint8_t> version = Ask("Q;W;Q;", 21);
    EXPECT_TRUE(Contains(version, "illegal"));
    EXPECT_EQ(std::vector<uint8_t>(version.begin(), version.begin() + 2), AppMarker);

    EXPECT_TRUE(Contains(Ask("R;", 17), "illegal"));
    EXPECT_EQ(Ask("Q;", 2), AppMarker);

    sim->SetLoader(TerminalLoader::Bootloader);
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Bootloader, Eventually));
    EXPECT_TRUE(Contains(Ask("A;", 17), "illegal"));
    EXPECT_EQ(Ask("Q;", 2), BootMarker);
    client->Send("B;");
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Apploader, Eventually));
}

TEST_F(TerminalSimulatorTest, FlowControlReplyFollowsTheOption)
{
    TerminalOptions options;
    options.flowControlReply = 0x82;
    StartWith(options);
    EXPECT_EQ(Ask("F;", 1), Bytes({0x82}));
    sim->ChangeOptions([](TerminalOptions& o) { o.flowControlReply = -1; });
    client->Send("F;Q;");
    EXPECT_EQ(client->Receive(2), AppMarker); // nothing came before the marker
}

TEST_F(TerminalSimulatorTest, SilentAtLineSettingsItsLoaderDoesNotUse)
{
    TerminalOptions options;
    options.apploaderRate = 38400;
    options.apploaderFormat = "8e2";
    StartWith(options);

    client->SetLine(B115200, false);
    client->Send("Q;");
    ASSERT_TRUE(WaitForText(Kind::Ignored, "115200"));
    client->SetLine(B38400, false); // right rate, wrong stop bits
    client->Send("Q;");
    ASSERT_TRUE(WaitForText(Kind::Ignored, "38400 with 1 stop bit"));
    EXPECT_EQ(SentEvents(), 0u);
    EXPECT_TRUE(client->Pending().empty());

    client->SetLine(B38400, true);
    EXPECT_EQ(Ask("Q;", 2), AppMarker);

    sim->SetLoader(TerminalLoader::Bootloader);
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Bootloader, Eventually));
    client->Send("Q;");
    ASSERT_TRUE(WaitForText(Kind::Ignored, "listens at 115200 8N1"));
    client->SetLine(B115200, false);
    EXPECT_EQ(Ask("Q;", 2), BootMarker);
}

TEST_F(TerminalSimulatorTest, SilentOptionSendsNothing)
{
    TerminalOptions options;
    options.silent = true;
    StartWith(options);
    client->Send("Q;F;");
    ASSERT_TRUE(sim->WaitForCommandCount("F;", 1, Eventually));
    EXPECT_EQ(SentEvents(), 0u);
    EXPECT_TRUE(client->Pending().empty());
}

TEST_F(TerminalSimulatorTest, InductionWhilePoweringUpEntersTheBootloader)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Off;
    options.powerUpWindowMs = 60000;
    StartWith(options);
    client->Send("Q;");
    ASSERT_TRUE(WaitForText(Kind::Ignored, "no loader"));

    sim->PowerCycle();
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::PoweringUp, Eventually));
    client->Send("III"); // the run may be split between writes
    client->Send("II");
    std::vector<uint8_t> reply = ReceiveUntil([](const std::vector<uint8_t>& got) { return Contains(got, "Entering"); });
    std::string text(reply.begin(), reply.end());
    ASSERT_NE(text.find("Entering"), std::string::npos);
    ASSERT_NE(text.find("NOTICE"), std::string::npos);
    EXPECT_LT(text.find("NOTICE"), text.find("Entering"));
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Bootloader, Eventually));
    client->Send("Q;");
    std::vector<uint8_t> answer = ReceiveUntil([](const std::vector<uint8_t>& got) {
        return got.size() >= 2 && std::equal(BootMarker.begin(), BootMarker.end(), got.end() - 2);
    });
    ASSERT_GE(answer.size(), 2u);
}

TEST_F(TerminalSimulatorTest, CyclesPowerByItselfWhenAskedToInduce)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Off;
    options.powerCycleOnInduceMs = 10;
    options.enteringDelayMs = 0;
    options.powerUpWindowMs = 60000;
    StartWith(options);
    client->Send("IIIII");
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::PoweringUp, Eventually));
    client->Send("IIIII");
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Bootloader, Eventually));
    std::vector<uint8_t> reply = ReceiveUntil([](const std::vector<uint8_t>& got) { return Contains(got, "Entering"); });
    EXPECT_TRUE(Contains(reply, "NOTICE"));
    EXPECT_TRUE(Contains(reply, "Entering"));
}

TEST_F(TerminalSimulatorTest, PowerUpWithoutInductionBootsAsUsual)
{
    TerminalOptions options;
    options.powerUpWindowMs = 50;
    StartWith(options);
    sim->PowerCycle();
    ASSERT_TRUE(sim->WaitForEvent([](const TerminalEvent& e) { return e.kind == Kind::LoaderChanged && e.text == "powering up"; },
                                  Eventually));
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Apploader, Eventually));
    EXPECT_EQ(Ask("Q;", 2), AppMarker);
}

TEST_F(TerminalSimulatorTest, BootloaderChecksFirmwareFrames)
{
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Bootloader;
    options.imageIdleMs = 100;
    StartWith(options);

    client->Send(AbcFrame);
    ReceivedImage image;
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image, 0));
    EXPECT_TRUE(image.accepted) << image.verdict;
    EXPECT_EQ(image.bytes, Text("abc"));
    EXPECT_EQ(image.kind, ReceivedImage::Kind::Firmware);

    std::vector<uint8_t> badCrc = AbcFrame;
    badCrc.back() ^= 0xFF;
    client->Send(badCrc);
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image, 1));
    EXPECT_FALSE(image.accepted);
    EXPECT_NE(image.verdict.find("CRC"), std::string::npos);

    std::vector<uint8_t> badComplement = FrameOf(Text("Q;Q;Q;"));
    badComplement[9] ^= 0x01;
    client->Send(badComplement);
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image, 2));
    EXPECT_FALSE(image.accepted);
    EXPECT_NE(image.verdict.find("complement"), std::string::npos);
    // The refused frame's data is never taken for commands.
    ASSERT_TRUE(WaitForText(Kind::Ignored, "listening for commands again"));
    EXPECT_EQ(sim->CountCommands("Q;"), 0u);

    std::vector<uint8_t> shortFrame = FrameOf(EveryByte(300));
    shortFrame.resize(200);
    client->Send(shortFrame);
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image, 3));
    EXPECT_FALSE(image.accepted);
    EXPECT_NE(image.verdict.find("short"), std::string::npos);

    // Still answering afterwards.
    EXPECT_EQ(Ask("Q;", 2), BootMarker);
}

TEST_F(TerminalSimulatorTest, ApploaderTakesAnEscapedApplicationUntilTheExpectedSize)
{
    TerminalOptions options;
    std::vector<uint8_t> file = EveryByte(3000); // holds 0x11, 0x13 and 0xBF
    options.expectedImageSize = file.size();
    StartWith(options);
    PrepareApploader(false, 0x81);

    client->Send(Escaped(file));
    ReceivedImage image;
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image));
    EXPECT_EQ(image.kind, ReceivedImage::Kind::Application);
    EXPECT_TRUE(image.accepted) << image.verdict;
    EXPECT_TRUE(image.escaped);
    EXPECT_EQ(image.bytes, file);
    EXPECT_GT(image.lineBytes, file.size());
    // Back to commands right after the last byte.
    EXPECT_EQ(Ask("Q;", 2), AppMarker);
}

TEST_F(TerminalSimulatorTest, ApplicationEndsAtAQuietLineAndMayStartWithACommandLetter)
{
    TerminalOptions options;
    options.flowControlReply = 0x80;
    options.imageIdleMs = 100;
    StartWith(options);
    PrepareApploader(false, 0x80);

    std::vector<uint8_t> file = Text("BFF0");
    std::vector<uint8_t> rest = EveryByte(1000); // unescaped: 0x11 and 0x13 are data here
    file.insert(file.end(), rest.begin(), rest.end());
    client->Send(file);
    ReceivedImage image;
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image));
    EXPECT_TRUE(image.accepted) << image.verdict;
    EXPECT_FALSE(image.escaped);
    EXPECT_EQ(image.bytes, file);
}

TEST_F(TerminalSimulatorTest, ApploaderTakesAnEscapedFirmwareFrameFromVersion145)
{
    TerminalOptions options;
    options.firmwareVersion = "1.45";
    StartWith(options);
    ASSERT_EQ(Ask("Q;", 2), AppMarker);
    ASSERT_EQ(Ask("Q;W;Q;", 8), Bytes({0xFF, 0x99, '1', '.', '4', '5', 0xFF, 0x99}));
    ASSERT_EQ(Ask("F;", 1), Bytes({0x81}));
    client->SetFlow(true, false);
    std::vector<uint8_t> file = EveryByte(2000);
    client->Send(Escaped(FrameOf(file)));
    ReceivedImage image;
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image));
    EXPECT_TRUE(image.accepted) << image.verdict;
    EXPECT_EQ(image.bytes, file);

    sim->ChangeOptions([](TerminalOptions& o) { o.firmwareVersion = "1.44"; });
    ASSERT_EQ(Ask("Q;", 2), AppMarker);
    ASSERT_EQ(Ask("Q;W;Q;", 8), Bytes({0xFF, 0x99, '1', '.', '4', '4', 0xFF, 0x99}));
    ASSERT_EQ(Ask("F;", 1), Bytes({0x81}));
    client->Send(Escaped(FrameOf(file)));
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image, 1));
    EXPECT_FALSE(image.accepted);
    EXPECT_NE(image.verdict.find("takes no firmware"), std::string::npos);
}

TEST_F(TerminalSimulatorTest, XoffReallyStopsTheSenderAndTheHoldDoesNotEndTheImage)
{
    TerminalOptions options;
    options.flowControlReply = 0x80;
    options.xoffAfterBytes = 100;
    options.xoffHoldMs = 300;
    options.imageIdleMs = 100; // shorter than the hold
    options.expectedImageSize = 0;
    StartWith(options);
    PrepareApploader(false, 0x80);
    termios line{};
    int fd = open(sim->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    tcgetattr(fd, &line);
    line.c_iflag |= IXON;
    tcsetattr(fd, TCSANOW, &line);
    close(fd);

    std::vector<uint8_t> file = Text("x");
    file.resize(100, 'y');
    client->Send(file);
    ASSERT_TRUE(WaitForText(Kind::LineControl, "XOFF sent"));
    // Keep writing until the line refuses: XOFF has stopped our output.
    bool stopped = false;
    auto deadline = std::chrono::steady_clock::now() + Eventually;
    int fdWrite = open(sim->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fdWrite, 0);
    while (!stopped && std::chrono::steady_clock::now() < deadline) {
        uint8_t z = 'z';
        if (write(fdWrite, &z, 1) == 1)
            file.push_back(z);
        else
            stopped = errno == EAGAIN;
    }
    close(fdWrite);
    EXPECT_TRUE(stopped);
    std::vector<uint8_t> tail(500, 'w');
    client->Send(tail); // waits for XON
    file.insert(file.end(), tail.begin(), tail.end());
    ASSERT_TRUE(WaitForText(Kind::LineControl, "XON sent"));
    ReceivedImage image;
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image));
    EXPECT_EQ(image.bytes, file);
}

TEST_F(TerminalSimulatorTest, StalledAndPacedReadingLosesNothing)
{
    TerminalOptions options;
    options.flowControlReply = 0x80;
    options.stallAfterBytes = 100;
    options.stallMs = 200;
    options.imageIdleMs = 100; // shorter than the stall
    options.paceLine = true;
    options.apploaderRate = 230400;
    StartWith(options);
    client->SetLine(B230400, false);
    PrepareApploader(false, 0x80);
    std::vector<uint8_t> file = EveryByte(4000);
    client->Send(file);
    ReceivedImage image;
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image));
    EXPECT_EQ(image.bytes, file);
    EXPECT_TRUE(WaitForText(Kind::LineControl, "reading resumed"));
}

TEST_F(TerminalSimulatorTest, UnplugMidTransferHangsUpTheLine)
{
    TerminalOptions options;
    options.flowControlReply = 0x80;
    options.unplugAfterBytes = 50;
    StartWith(options);
    PrepareApploader(false, 0x80);
    std::string alias = sim->AliasPath();
    client->Send(EveryByte(100));
    ASSERT_TRUE(sim->WaitForEvent([](const TerminalEvent& e) { return e.kind == Kind::Unplugged; }, Eventually));
    EXPECT_EQ(sim->CurrentLoader(), TerminalLoader::Unplugged);
    ReceivedImage image;
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image));
    EXPECT_FALSE(image.accepted);
    EXPECT_NE(image.verdict.find("unplugged"), std::string::npos);
    EXPECT_FALSE(std::filesystem::is_symlink(alias));
    client->Send("Q;");
    EXPECT_TRUE(client->Receive(2, std::chrono::milliseconds(100)).empty());
}

} // namespace

// The rude terminal: talk while idle, late replies, boot messages, a pulled
// and replugged cable, and a line whose flow control does not fit.

TEST_F(TerminalSimulatorTest, ChatterGoesOnUntilTheFirstCommandOrForEver)
{
    TerminalOptions options;
    options.chatterIntervalMs = 5;
    StartWith(options);
    std::vector<uint8_t> talk = ReceiveUntil([](const std::vector<uint8_t>& got) { return Contains(got, "status 3:"); });
    EXPECT_TRUE(Contains(talk, "status 1: running")) << std::string(talk.begin(), talk.end());

    client->Send("Q;");
    // The marker arrives among the talk; after it the unit goes quiet.
    std::vector<uint8_t> reply = ReceiveUntil([](const std::vector<uint8_t>& got) {
        return std::search(got.begin(), got.end(), AppMarker.begin(), AppMarker.end()) != got.end();
    });
    ASSERT_NE(std::search(reply.begin(), reply.end(), AppMarker.begin(), AppMarker.end()), reply.end());
    client->Receive(1u << 16, std::chrono::milliseconds(50)); // what was already under way
    EXPECT_TRUE(client->Receive(1, std::chrono::milliseconds(100)).empty());

    sim->Stop();
    options.chatterAlways = true;
    StartWith(options);
    client->Send("Q;");
    ASSERT_TRUE(sim->WaitForCommandCount("Q;", 1, Eventually));
    client->Receive(1u << 16, std::chrono::milliseconds(30));
    EXPECT_TRUE(Contains(ReceiveUntil([](const std::vector<uint8_t>& got) { return Contains(got, ": running"); }),
                         ": running"));
}

TEST_F(TerminalSimulatorTest, LateRepliesKeepTheirOrderAndMissTheWindow)
{
    TerminalOptions options;
    options.replyDelayMs = 150;
    StartWith(options);
    client->Send("Q;");
    EXPECT_TRUE(client->Receive(2, std::chrono::milliseconds(100)).empty());
    client->Send("F;");
    // Both replies come, late and in order.
    EXPECT_EQ(client->Receive(3), Bytes({0xFF, 0x99, 0x81}));
}

TEST_F(TerminalSimulatorTest, BootMessagesWhileRestarting)
{
    TerminalOptions options;
    options.bootChatter = true;
    options.restartMs = 150;
    StartWith(options);
    client->Send("R;");
    std::vector<uint8_t> boot = ReceiveUntil([](const std::vector<uint8_t>& got) { return Contains(got, "loader up\r\n"); });
    EXPECT_TRUE(Contains(boot, "checking flash")) << std::string(boot.begin(), boot.end());
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Bootloader, Eventually));
    EXPECT_EQ(Ask("Q;", 2), BootMarker);
}

TEST_F(TerminalSimulatorTest, APulledCableComesBackUnderTheSameComName)
{
    StartWith({});
    const std::string name = sim->ComName();
    sim->Unplug();
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Unplugged, Eventually));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim->AliasPath())));

    sim->Replug();
    ASSERT_TRUE(sim->WaitForLoader(TerminalLoader::Apploader, Eventually));
    EXPECT_EQ(sim->ComName(), name);
    client = std::make_unique<SlaveClient>(sim->SlavePath());
    ASSERT_TRUE(client->IsOpen());
    EXPECT_EQ(Ask("Q;", 2), AppMarker);
}

TEST_F(TerminalSimulatorTest, AnImageOnALineWithTheWrongFlowControlIsRefused)
{
    TerminalOptions options;
    options.flowControlReply = 0x82;
    options.expectedImageSize = 100;
    StartWith(options);
    ASSERT_EQ(Ask("Q;", 2), AppMarker);
    ASSERT_EQ(Ask("F;", 1), Bytes({0x82}));
    client->Send(std::vector<uint8_t>(100, 'x')); // without switching to RTS/CTS
    ReceivedImage image;
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image));
    EXPECT_FALSE(image.accepted);
    EXPECT_NE(image.verdict.find("RTS/CTS off"), std::string::npos) << image.verdict;

    ASSERT_EQ(Ask("Q;", 2), AppMarker);
    ASSERT_EQ(Ask("F;", 1), Bytes({0x82}));
    client->SetFlow(false, true);
    client->Send(std::vector<uint8_t>(100, 'y'));
    ASSERT_TRUE(sim->WaitForImage(Eventually, &image, 1));
    EXPECT_TRUE(image.accepted) << image.verdict;
}

