#include "TerminalSimTestSupport.h"

#include <set>
#include <sys/ioctl.h>

namespace {

// Opens the slave as the serial port driver does once it takes the port for
// itself (TIOCEXCL), and reads what the unit sends.
std::vector<uint8_t> OpenAndReceive(TerminalSimulator& sim, size_t count, bool exclusive)
{
    int fd = ::open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0);
    termios line{};
    ::tcgetattr(fd, &line);
    ::cfmakeraw(&line);
    ::tcsetattr(fd, TCSANOW, &line);
    if (exclusive) {
        EXPECT_EQ(::ioctl(fd, TIOCEXCL), 0);
    }
    std::vector<uint8_t> got;
    auto deadline = std::chrono::steady_clock::now() + (exclusive ? Eventually : std::chrono::milliseconds(300));
    while (got.size() < count + 1 && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) {
            if (exclusive && got.size() == count)
                break; // everything came and nothing more follows at once
            continue;
        }
        uint8_t buffer[4096];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            got.insert(got.end(), buffer, buffer + n);
    }
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return got;
}

TEST(ConsoleStream, StartsWhenThePortIsTakenAndSendsExactlyTheBytesAsked)
{
    TempUserFolders folders;
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Off;
    options.streamBytes = 100000;
    TerminalSimulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;

    // Someone merely looking at the device does not start it.
    EXPECT_TRUE(OpenAndReceive(sim, 0, false).empty());

    std::vector<uint8_t> got = OpenAndReceive(sim, options.streamBytes, true);
    ASSERT_EQ(got.size(), options.streamBytes);
    std::string text(got.begin(), got.end());
    EXPECT_EQ(text.rfind("1: the unit's console, 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n2: ", 0), 0u);
    EXPECT_NE(text.find("\r\n1000: the unit's console"), std::string::npos);
    EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](uint8_t b) { return (b >= 0x20 && b < 0x7F) || b == '\r' || b == '\n'; }));
    EXPECT_TRUE(sim.WaitForEvent([](const TerminalEvent& e) { return e.text == "console traffic sent"; }, Eventually));
}

TEST(ConsoleStream, MixedTrafficHasEveryByteValue)
{
    TempUserFolders folders;
    TerminalOptions options;
    options.loaderAtStart = TerminalLoader::Off;
    options.streamBytes = 20000;
    options.streamMixed = true;
    TerminalSimulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    std::vector<uint8_t> got = OpenAndReceive(sim, options.streamBytes, true);
    ASSERT_EQ(got.size(), options.streamBytes);
    EXPECT_EQ(std::set<uint8_t>(got.begin(), got.end()).size(), 256u);
}

} // namespace
