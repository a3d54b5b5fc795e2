#pragma once

#include "ReceivedImage.h"
#include "TerminalEvent.h"
#include "TerminalOptions.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The simulated unit's serial side: both loaders on a pseudo-terminal that is
// published as a COM alias. Start runs it on a thread of its own; every public
// call is thread-safe.
class TerminalSimulator {
public:
    using EventSink = std::function<void(const TerminalEvent&)>;

    explicit TerminalSimulator(TerminalOptions options = {});
    ~TerminalSimulator(); // stops
    TerminalSimulator(const TerminalSimulator&) = delete;
    TerminalSimulator& operator=(const TerminalSimulator&) = delete;

    // Called on the simulator's thread for every event, outside its lock. Set it
    // before Start.
    void SetEventSink(EventSink sink);

    // Creates the pseudo-terminal and its COM alias, starts the thread; false
    // with a one-line reason in *error.
    bool Start(std::string* error);
    // Stops the thread, closes the pseudo-terminal and removes the alias.
    // Harmless when not started and when called twice.
    void Stop();

    std::string ComName() const; // "COM40"
    int ComNumber() const;
    std::string SlavePath() const;  // "/dev/pts/7"
    std::string AliasPath() const;  // the symbolic link

    TerminalLoader CurrentLoader() const;
    std::vector<TerminalEvent> Events() const;
    std::vector<ReceivedImage> Images() const;
    size_t CountCommands(const std::string& command) const;
    // Times at which each occurrence of command was seen, oldest first.
    std::vector<std::chrono::steady_clock::time_point> CommandTimes(const std::string& command) const;
    // Commands in the order they were seen.
    std::vector<std::string> Commands() const;
    void ClearLog(); // forgets events and images

    // Waits until image number index (0 = first) has been received completely.
    bool WaitForImage(std::chrono::milliseconds timeout, ReceivedImage* image = nullptr, size_t index = 0) const;
    // Waits until some logged event (old or new) satisfies predicate.
    bool WaitForEvent(const std::function<bool(const TerminalEvent&)>& predicate,
                      std::chrono::milliseconds timeout, TerminalEvent* event = nullptr) const;
    bool WaitForCommandCount(const std::string& command, size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForLoader(TerminalLoader loader, std::chrono::milliseconds timeout) const;

    // Actions a test (or the program) takes while running.
    void PowerCycle();             // off and on: the power-up window opens
    void SetLoader(TerminalLoader loader); // Off, Bootloader or Apploader at once
    void Unplug();                 // as if the cable were pulled
    void Replug();                 // the cable back in: the same COM name, the loader at start
    void ChangeOptions(const std::function<void(TerminalOptions&)>& change);
    TerminalOptions Options() const;

private:
    struct State;
    std::unique_ptr<State> state;
};
