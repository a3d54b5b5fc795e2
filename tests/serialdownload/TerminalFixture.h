#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "RecordingReporter.h"
#include "TempUserFolders.h"
#include "TestFiles.h"
#include "SerialDownloadJob.h"
#include "SerialPort.h"
#include "TerminalSimulator.h"

// Runs downloads against the terminal simulator on a pseudo-terminal of its own,
// with per-user folders in a temporary folder of the test's own.
class TerminalFixture : public ::testing::Test {
protected:
    // Generous deadlines for "eventually": a loaded two-core machine is slow, but
    // when things work these are never reached.
    static constexpr std::chrono::milliseconds FinishDeadline{30000};
    static constexpr std::chrono::milliseconds EventDeadline{15000};

    void SetUp() override { ASSERT_FALSE(folder.empty()) << "no temporary folder"; }

    void TearDown() override
    {
        // Before the folders go: the simulator removes its alias from them.
        port.reset();
        terminal.reset();
    }

    void StartTerminal(const TerminalOptions& options)
    {
        terminal = std::make_unique<TerminalSimulator>(options);
        std::string error;
        ASSERT_TRUE(terminal->Start(&error)) << error;
    }

    // Opens the port as the main window does, with the operator's settings.
    void OpenPort(uint32_t rate = 115200)
    {
        port = std::make_shared<SerialPort>();
        ASSERT_TRUE(port->OpenByNumber(terminal->ComNumber(), rate, 0, NoParity, OneStopBit, 8, FlowControl::None))
            << "cannot open COM" << terminal->ComNumber();
    }

    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        return WriteTestFile(folder, name, bytes);
    }

    // Starts a job on the fixture's port; the download runs on its worker.
    void StartDownload(const std::string& path, DownloadFileKind kind)
    {
        job = std::make_unique<SerialDownloadJob>(path, kind, port, &reporter);
        workerPort = port;
        ASSERT_TRUE(job->Start());
    }

    // Waits for Finish, then for the worker to let go of the port, so that nothing
    // the test destroys afterwards is still in use.
    void WaitForEnd()
    {
        ASSERT_TRUE(reporter.WaitForFinish(FinishDeadline)) << "the download did not end";
        job.reset(); // the window may drop the record at any time; the worker has its own copy
        ASSERT_TRUE(Eventually([&] { return workerPort.expired() || workerPort.use_count() <= (port ? 1 : 0); }))
            << "the worker kept the port";
    }

    void RunDownload(const std::string& path, DownloadFileKind kind)
    {
        StartDownload(path, kind);
        WaitForEnd();
    }

    template <typename Condition>
    static bool Eventually(Condition condition, std::chrono::milliseconds deadline = EventDeadline)
    {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    // Every byte the terminal read off the line, in order (for short exchanges).
    std::vector<uint8_t> LineBytes() const
    {
        std::vector<uint8_t> bytes;
        for (const TerminalEvent& event : terminal->Events())
            if (event.kind == TerminalEvent::Kind::Received)
                bytes.insert(bytes.end(), event.bytes.begin(), event.bytes.end());
        return bytes;
    }

    TempUserFolders folders;
    const std::filesystem::path& folder = folders.Root();
    std::unique_ptr<TerminalSimulator> terminal;
    std::shared_ptr<SerialPort> port;
    std::weak_ptr<SerialPort> workerPort;
    RecordingReporter reporter;
    std::unique_ptr<SerialDownloadJob> job;
};
