#pragma once

#include "PtyPair.h"
#include "RecordingTarget.h"
#include "SerialPort.h"
#include "TempUserFolders.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Every port test gets its own per-user folders and a fresh line.
class SerialFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.IsValid()); }

    bool OpenPort(SerialPort& port, FlowControl flow = FlowControl::None, int alwaysEscape = 0)
    {
        return port.Open(pty.SlavePath(), 115200, alwaysEscape, NoParity, OneStopBit, 8, flow);
    }

    // Reads until `count` bytes came or timeoutMs passed.
    static Bytes ReadBytes(SerialPort& port, size_t count, int timeoutMs = 5000)
    {
        Bytes got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            uint8_t buffer[4096];
            const int want = static_cast<int>(std::min(sizeof buffer, count - got.size()));
            const int n = port.Read(buffer, want, 5);
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    static void Write(SerialPort& port, const Bytes& bytes, bool waitUntilSent = true)
    {
        EXPECT_EQ(port.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), waitUntilSent), 1);
    }

    TempUserFolders folders;
    PtyPair pty;
};
