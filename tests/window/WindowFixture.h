#pragma once

#include "AppSettings.h"
#include "ComPortNames.h"
#include "MainDialog.h"
#include "RecordingView.h"
#include "TempUserFolders.h"
#include "TerminalSimulator.h"
#include "TestFiles.h"
#include "UiThreadLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

// One main window over a recording view, its user-interface thread being the
// test's own, in fresh per-user folders; with a simulated terminal when a test
// starts one.
class WindowFixture : public ::testing::Test {
protected:
    // Generous: the machine may be busy with other builds.
    static constexpr std::chrono::milliseconds WorkerLimit{15000};

    ~WindowFixture() override
    {
        // The window before the loop it posts to, the terminal after the window.
        window.reset();
        simulator.reset();
    }

    // Creates and initialises the window; the port list is the devices present
    // whenever it is asked for, unless a test gives its own.
    MainDialog& Open(MainDialog::PortLister listPorts = &ComPortNames::List)
    {
        window = std::make_unique<MainDialog>(settings, view, &loop, loop, std::move(listPorts));
        loop.Attach(window.get());
        window->Initialise();
        return *window;
    }

    void StartSimulator(TerminalOptions options)
    {
        simulator = std::make_unique<TerminalSimulator>(options);
        std::string error;
        ASSERT_TRUE(simulator->Start(&error)) << error;
    }

    // Settings that name the simulator's port.
    void UseSimulatorPort(int portstatus)
    {
        settings.portstatus = portstatus;
        settings.serialport = simulator->ComName();
        settings.baud = "115200";
        settings.dataformat = "8n1";
    }

    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        return WriteTestFile(folders.Root(), name, bytes);
    }

    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = WorkerLimit)
    {
        return loop.RunUntil(done, limit);
    }

    // Download, and wait until the worker has given the window back.
    void DownloadAndWait()
    {
        window->OnDownload();
        ASSERT_TRUE(RunUntil([this] { return view.windowEnabled; })) << "status: " << view.progressStatus;
    }

    void ExpectImage(size_t index, const std::vector<uint8_t>& bytes) const
    {
        ReceivedImage received;
        ASSERT_TRUE(simulator->WaitForImage(WorkerLimit, &received, index));
        EXPECT_TRUE(received.accepted) << received.verdict;
        EXPECT_EQ(received.bytes, bytes);
    }

    TempUserFolders folders;
    AppSettings settings;
    RecordingView view;
    UiThreadLoop loop;
    std::unique_ptr<TerminalSimulator> simulator;
    std::unique_ptr<MainDialog> window;
};

inline MainDialog::PortLister Ports(std::vector<std::string> ports)
{
    return [ports] { return ports; };
}

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

inline bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}
