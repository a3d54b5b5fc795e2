// The serial port's escaping, through a real pseudo-terminal: any bytes written
// with escaping on must reach the line in their escaped form and, sent back by
// the far end, be read as the same bytes; and any bytes at all from the far end
// must be read as the unescaping rule gives them (pairs decoded, a 0xBF with an
// unknown follower dropped with it, a lone 0xBF held until its follower comes),
// however the reads cut them.
#include "FuzzCheck.h"
#include "PtyPair.h"
#include "SerialPort.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr uint8_t Escape = 0xBF;

std::vector<uint8_t> Escaped(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        if (b == 0x11 || b == 0x13 || b == Escape) {
            out.push_back(Escape);
            out.push_back(static_cast<uint8_t>(b | 0x80));
        } else {
            out.push_back(b);
        }
    }
    return out;
}

std::vector<uint8_t> Unescaped(const std::vector<uint8_t>& line)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != Escape) {
            out.push_back(line[i]);
            continue;
        }
        if (i + 1 == line.size())
            break; // no follower yet
        const uint8_t follower = line[++i];
        if (follower == 0x91)
            out.push_back(0x11);
        else if (follower == 0x93)
            out.push_back(0x13);
        else if (follower == Escape)
            out.push_back(Escape);
    }
    return out;
}

struct Line {
    PtyPair pty;
    SerialPort port;
};

Line& TheLine()
{
    // One line for the whole run: opening a port per input would cost more than the input.
    static Line* line = [] {
        auto* made = new Line;
        FUZZ_CHECK(made->pty.IsValid());
        FUZZ_CHECK(made->port.Open(made->pty.SlavePath(), 115200, 1, NoParity, OneStopBit, 8, FlowControl::None));
        return made;
    }();
    return *line;
}

// Reads until `count` bytes have come, `chunk` at most per Read.
std::vector<uint8_t> ReadFromPort(SerialPort& port, size_t count, int chunk)
{
    std::vector<uint8_t> got;
    uint8_t buffer[64];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        const int n = port.Read(buffer, std::min<int>(chunk, static_cast<int>(count - got.size())), 0);
        got.insert(got.end(), buffer, buffer + n);
        if (n == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return got;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1024)
        return 0;
    Line& line = TheLine();
    const int chunk = size == 0 ? 1 : 1 + data[0] % 64;

    // Out and back: the port escapes, the far end returns the line as it came.
    // Not waiting for the bytes to leave: receiving them all at the far end says as much.
    line.port.Write(data, static_cast<uint32_t>(size), false);
    const std::vector<uint8_t> wanted = Escaped(data, size);
    const std::vector<uint8_t> onLine = line.pty.Receive(wanted.size());
    FUZZ_CHECK(onLine == wanted);
    line.pty.Send(onLine);
    FUZZ_CHECK(ReadFromPort(line.port, size, chunk) == std::vector<uint8_t>(data, data + size));

    // Anything from the far end. "AB" behind it completes or ends a trailing
    // 0xBF, so that nothing is left over for the next input.
    std::vector<uint8_t> raw(data, data + size);
    raw.push_back('A');
    raw.push_back('B');
    const std::vector<uint8_t> expected = Unescaped(raw);
    line.pty.Send(raw);
    FUZZ_CHECK(ReadFromPort(line.port, expected.size(), chunk) == expected);

    // Nothing more than that arrives.
    uint8_t spare;
    FUZZ_CHECK(line.port.Read(&spare, 1, 0) == 0);
    return 0;
}
