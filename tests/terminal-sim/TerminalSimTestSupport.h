#pragma once

#include "TempUserFolders.h"
#include "TerminalSimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

// Generous bound for things that must happen; a loaded machine may be slow,
// and passing tests never wait for it.
constexpr std::chrono::milliseconds Eventually{5000};

// The far end as any program would drive it: the slave device, raw, with
// plain termios.
class SlaveClient {
public:
    explicit SlaveClient(const std::string& path, speed_t speed = B115200, bool twoStopBits = false)
    {
        fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0)
            SetLine(speed, twoStopBits);
    }
    ~SlaveClient()
    {
        if (fd >= 0)
            close(fd);
    }
    bool IsOpen() const { return fd >= 0; }

    void SetLine(speed_t speed, bool twoStopBits)
    {
        termios line{};
        tcgetattr(fd, &line);
        cfmakeraw(&line);
        cfsetispeed(&line, speed);
        cfsetospeed(&line, speed);
        line.c_cflag &= ~(PARENB | CSTOPB);
        if (twoStopBits)
            line.c_cflag |= CSTOPB;
        line.c_cflag |= CLOCAL | CREAD;
        tcsetattr(fd, TCSANOW, &line);
    }

    // The flow control a client switches to after "F;", as the simulator checks it.
    void SetFlow(bool xonXoff, bool rtsCts)
    {
        termios line{};
        tcgetattr(fd, &line);
        line.c_iflag &= ~(IXON | IXOFF);
        line.c_cflag &= ~CRTSCTS;
        if (xonXoff)
            line.c_iflag |= IXON | IXOFF;
        if (rtsCts)
            line.c_cflag |= CRTSCTS;
        tcsetattr(fd, TCSANOW, &line);
    }

    void Send(const std::string& text) { Send(std::vector<uint8_t>(text.begin(), text.end())); }
    void Send(const std::vector<uint8_t>& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (errno != EAGAIN)
                return; // the line is gone
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, static_cast<int>(Eventually.count())) <= 0)
                return;
        }
    }

    // Reads until count bytes have come or the time is up.
    std::vector<uint8_t> Receive(size_t count, std::chrono::milliseconds timeout = Eventually)
    {
        std::vector<uint8_t> got;
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (got.size() < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            uint8_t buffer[1024];
            ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0)
                break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    // Whatever is waiting right now.
    std::vector<uint8_t> Pending() { return Receive(1u << 20, std::chrono::milliseconds(0)); }

private:
    int fd = -1;
};

inline std::vector<uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<uint8_t> bytes;
    for (int v : values)
        bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

// A firmware frame of the three bytes "abc", with its CRC.
inline const std::vector<uint8_t> AbcFrame = Bytes({0x53, 0x2C, 0x00, 0x00, 0x00, 0x03, 0xFF, 0xFF, 0xFF, 0xFD, 0x61, 0x62, 0x63, 0x51, 0x4A});

inline std::vector<uint8_t> Text(const std::string& text)
{
    return {text.begin(), text.end()};
}

inline bool Contains(const std::vector<uint8_t>& haystack, const std::string& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}
