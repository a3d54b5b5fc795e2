#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "TempUserFolders.h"
#include "TestFiles.h"
#include "TerminalSimulator.h"
#include "TftpServer.h"

// The bytes a simulated terminal has taken in so far.
inline size_t ReceivedCount(const TerminalSimulator& terminal)
{
    size_t count = 0;
    for (const TerminalEvent& event : terminal.Events())
        if (event.kind == TerminalEvent::Kind::Received)
            count += event.count;
    return count;
}

// Runs the real vennix-cli against simulated terminals and TFTP units started in
// this process, with per-user folders of the test's own.
class CliFixture : public ::testing::Test {
protected:
    static constexpr std::chrono::milliseconds EventDeadline{20000};

    void SetUp() override { ASSERT_FALSE(folders.Root().empty()) << "no temporary folder"; }

    void TearDown() override
    {
        // Before the folders go: each simulator removes its alias from them.
        terminals.clear();
        servers.clear();
    }

    TerminalSimulator& StartTerminal(TerminalOptions options)
    {
        terminals.push_back(std::make_unique<TerminalSimulator>(options));
        std::string error;
        EXPECT_TRUE(terminals.back()->Start(&error)) << error;
        return *terminals.back();
    }

    TftpServer& StartTftp(TftpServerOptions options = {})
    {
        options.port = 0;
        servers.push_back(std::make_unique<TftpServer>(options));
        std::string error;
        EXPECT_TRUE(servers.back()->Start(&error)) << error;
        return *servers.back();
    }

    static std::string IpTarget(const TftpServer& server)
    {
        return "127.0.0.1:" + std::to_string(server.BoundPort());
    }

    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        return WriteTestFile(folders.Root(), name, bytes);
    }

    static std::vector<std::string> Lines(const std::string& text)
    {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    // The summary row of a target: the stdout line that starts with its name.
    static std::string SummaryRow(const std::string& out, const std::string& target)
    {
        for (const std::string& line : Lines(out))
            if (line.rfind(target + " ", 0) == 0)
                return line;
        return std::string();
    }

    // Runs vennix-cli to its end; the test fails if it does not end.
    static void Finish(CliProcess& process)
    {
        ASSERT_TRUE(process.Started());
        ASSERT_TRUE(process.Wait(CliProcess::RunLimit)) << "vennix-cli did not end\n" << process.Err();
    }

    TempUserFolders folders;
    std::vector<std::unique_ptr<TerminalSimulator>> terminals;
    std::vector<std::unique_ptr<TftpServer>> servers;
};
