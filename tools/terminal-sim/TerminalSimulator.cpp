#include "TerminalSimulator.h"

#include "ComAlias.h"
#include "FirmwareFrameReader.h"
#include "PseudoTerminal.h"
#include "UserFolders.h"
#include "XonXoffUnescaper.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The bootloader's fixed line.
constexpr uint32_t BootloaderRate = 115200;

const uint8_t BootloaderMarker[] = {0xAA, 0x55};
const uint8_t ApploaderMarker[] = {0xFF, 0x99};
const char IllegalReply[] = "illegal command\r\n";
const char NoticeText[] = "\r\nNOTICE: boot request seen\r\n";
const char EnteringText[] = "Entering bootloader\r\n";
const char BootBanner[] = "\r\nVNX-OT boot 2.07\r\nchecking flash... ";
const char BootDoneText[] = "ok\r\nloader up\r\n";
// Idle talk is capped per wake-up, so a tiny interval after a long stall
// cannot flood the line in one go.
constexpr int MaxChatterLinesAtOnce = 64;
constexpr size_t MaxChatterBacklog = 64 * 1024;
constexpr uint8_t XonByte = 0x11;
constexpr uint8_t XoffByte = 0x13;
constexpr uint8_t XonXoffFlowReply = 0x81;
// Firmware before this version has no frame receiver in its apploader.
constexpr double FirstFrameVersion = 1.45;
// Number of 'I' in a row that asks for the bootloader.
constexpr int InduceRun = 5;

// Vennix writes "Q;W;Q;" in one go, but a pseudo-terminal may hand it over in
// pieces; a command split like that is completed within this time, far inside
// the 100 ms in which Vennix expects the reply.
constexpr milliseconds CommandGrace{20};
// Kept per Received event; the full count is in the event.
constexpr size_t LoggedBytesPerEvent = 256;
// The log of a long session is bounded; tests never get near it.
constexpr size_t MaxEvents = 200000;
constexpr size_t ReadChunk = 4096;
// A paced line may bank this much time of unread data, so reads come in
// chunks rather than one byte per wake-up.
constexpr double PaceBurstSeconds = 0.02;

enum class InputMode { Command, Frame, Application, DiscardUntilIdle };

bool IsCommandLetter(uint8_t byte)
{
    return byte == 'Q' || byte == 'F' || byte == 'R' || byte == 'A' || byte == 'B' || byte == 'W' || byte == 'q';
}

std::string Describe(const LineSettings& line)
{
    return std::to_string(line.rate) + (line.twoStopBits ? " with 2 stop bits" : " with 1 stop bit");
}

} // namespace

const char* TerminalEventKindName(TerminalEvent::Kind kind)
{
    switch (kind) {
    case TerminalEvent::Kind::Received: return "received";
    case TerminalEvent::Kind::Sent: return "sent";
    case TerminalEvent::Kind::Command: return "command";
    case TerminalEvent::Kind::Ignored: return "ignored";
    case TerminalEvent::Kind::LoaderChanged: return "loader";
    case TerminalEvent::Kind::ImageStarted: return "image started";
    case TerminalEvent::Kind::ImageReceived: return "image received";
    case TerminalEvent::Kind::LineControl: return "line";
    case TerminalEvent::Kind::Unplugged: return "unplugged";
    }
    return "?";
}

namespace {

// Console traffic (options.streamBytes): how often to look whether the far end
// has opened the port yet, and how much to hand the line at a time, so that
// replies to commands still get out in between.
constexpr milliseconds StreamOpenCheck{100};
constexpr size_t StreamPiece = 4096;
constexpr milliseconds StreamWriteRetry{2};

// True while another process holds the device open: how a far end that does
// not take the line exclusively (wine's serial driver) shows.
bool AnotherProcessHolds(const std::string& devicePath)
{
    struct stat device {};
    if (::stat(devicePath.c_str(), &device) != 0 || !S_ISCHR(device.st_mode))
        return false;
    const std::string self = std::to_string(::getpid());
    std::error_code error;
    for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = process.path().filename().string();
        if (name == self || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code unreadable; // another user's process, or one that just ended
        for (const auto& fd : std::filesystem::directory_iterator(process.path() / "fd", unreadable)) {
            struct stat held {};
            if (::stat(fd.path().c_str(), &held) == 0 && S_ISCHR(held.st_mode) && held.st_rdev == device.st_rdev)
                return true;
        }
    }
    return false;
}

// True while some program has the slave device open for itself: the serial
// port driver takes it exclusively (TIOCEXCL) for as long as the port is open;
// a driver that does not is seen holding the device.
bool FarEndHasPortOpen(const std::string& slavePath)
{
    int fd = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    int exclusive = 0;
    bool held = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    ::close(fd);
    return held || AnotherProcessHolds(slavePath);
}

struct ConsoleStream {
    bool portOpened = false;
    bool finished = false;
    size_t sent = 0;
    std::optional<Clock::time_point> checkAt; // next look at the port while waiting for it
    uint64_t random = 0x9E3779B97F4A7C15ull;
    uint64_t lineNumber = 1;
    std::string line; // the rest of the text line being sent

    uint8_t NextByte(bool mixed)
    {
        if (mixed) {
            random ^= random << 13;
            random ^= random >> 7;
            random ^= random << 17;
            return static_cast<uint8_t>(random >> 24);
        }
        if (line.empty()) {
            line = std::to_string(lineNumber++) + ": the unit's console, 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n";
            std::reverse(line.begin(), line.end()); // taken from the back
        }
        uint8_t byte = static_cast<uint8_t>(line.back());
        line.pop_back();
        return byte;
    }
};

} // namespace

// Everything below `mutex` is guarded by it. The thread holds the lock while it
// handles input and timers and lets go only to poll and to call the sink.
struct TerminalSimulator::State {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;

    TerminalOptions options;
    EventSink sink;
    std::deque<TerminalEvent> events;
    std::vector<TerminalEvent> toSink;
    std::vector<ReceivedImage> images;

    std::thread thread;
    int wakeFd = -1;
    bool running = false;
    bool stopRequested = false;
    bool powerCycleRequested = false;
    bool unplugRequested = false;
    bool replugRequested = false;
    std::optional<TerminalLoader> loaderRequest;

    PseudoTerminal line;
    ComAlias alias;
    std::string comName;
    int comNumber = 0;
    std::string slavePath;
    std::string aliasPath;

    // The unit.
    TerminalLoader loader = TerminalLoader::Off;
    TerminalLoader restartTarget = TerminalLoader::Off;
    std::optional<Clock::time_point> restartDoneAt;
    std::optional<Clock::time_point> powerUpEndsAt;
    std::optional<Clock::time_point> enteringAt;
    std::optional<Clock::time_point> autoPowerCycleAt;
    bool inductionAnswered = false;
    int commandIRun = 0; // 'I' in a row among the input a loader listens to
    int rawIRun = 0;     // 'I' in a row on the line, heard or not

    // Input parsing.
    InputMode mode = InputMode::Command;
    std::vector<uint8_t> input;
    std::optional<Clock::time_point> graceEndsAt;
    size_t garbageRun = 0;
    bool versionQueried = false; // Q;W;Q; answered with a version since the last Q;
    bool flowQueried = false;    // F; seen since the last Q;: an image may follow
    XonXoffUnescaper unescaper;
    bool unescaping = false;
    std::vector<uint8_t> decoded; // image bytes with the escaping undone, not yet taken

    // Image in progress.
    std::unique_ptr<FirmwareFrameReader> frame;
    ReceivedImage application;
    bool frameNotTaken = false; // intact or not, this apploader cannot take a frame
    std::string notTakenReason;
    size_t imageBytes = 0;      // line bytes since the image began
    size_t escapeErrorsAtStart = 0;
    Clock::time_point lastImageByte;
    Clock::time_point holdEndedAt;
    bool xoffDone = false, stallDone = false;
    std::optional<Clock::time_point> xonAt;
    std::optional<Clock::time_point> stallEndsAt;

    // Rudeness.
    std::optional<Clock::time_point> chatterAt; // the next status line, while the unit talks
    uint64_t chatterLines = 0;
    std::optional<Clock::time_point> unplugAt;
    struct LateReply {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
        bool raw = false;
    };
    std::deque<LateReply> lateReplies;
    std::string lineMismatch; // why the far end's line cannot carry the image in progress

    // Output and pacing.
    std::vector<uint8_t> output;
    double paceBudget = 0;
    Clock::time_point paceUpdatedAt;

    // Console traffic once the port is opened (options.streamBytes).
    ConsoleStream stream;
    void FeedStream(Clock::time_point now);

    void Log(TerminalEvent::Kind kind, std::string text, const uint8_t* bytes = nullptr, size_t count = 0)
    {
        TerminalEvent event;
        event.kind = kind;
        event.time = Clock::now();
        event.text = std::move(text);
        if (bytes)
            event.bytes.assign(bytes, bytes + std::min(count, LoggedBytesPerEvent));
        event.count = count;
        if (sink)
            toSink.push_back(event);
        events.push_back(std::move(event));
        if (events.size() > MaxEvents)
            events.pop_front();
        changed.notify_all();
    }

    void Wake() const
    {
        uint64_t one = 1;
        ssize_t written = write(wakeFd, &one, sizeof one);
        (void)written; // a full counter already wakes the thread
    }

    void Run();
    void HandleRequests(Clock::time_point now);
    void RunTimers(Clock::time_point now);
    std::optional<Clock::time_point> NextDeadline() const;
    void ReadLine(Clock::time_point now, size_t maxBytes);
    void FlushOutput();

    bool LineMatchesLoader(const LineSettings& settings, std::string* why) const;
    void WatchForInduce(const uint8_t* data, size_t length, Clock::time_point now);
    void ParseInput(Clock::time_point now, bool flush);
    bool ParseCommand(bool flush);
    void CountIs(uint8_t byte);
    void NoteGarbage(size_t count);
    void EndGarbageRun();
    void HandleCommand(const std::string& command);

    void TakeImageInput(Clock::time_point now);
    void StartImage(bool firmware);
    void ImageProgress(size_t consumed, Clock::time_point now);
    void FinishImage(bool endOfInput, const std::string& override = {});
    void AbandonImage(const std::string& why);

    void Send(const void* data, size_t length);
    void SendRaw(uint8_t byte);
    void Reply(const void* data, size_t length, bool raw = false);
    void Chatter(Clock::time_point now);
    std::string CheckLineFlow() const;
    void Replug();
    void SetLoaderState(TerminalLoader next);
    void Restart(TerminalLoader target, Clock::time_point now);
    void PowerCycle(Clock::time_point now);
    void Unplug();
    void ResetDialogue();
    double FirmwareVersionNumber() const;
};

TerminalSimulator::TerminalSimulator(TerminalOptions options) : state(std::make_unique<State>())
{
    state->options = std::move(options);
}

TerminalSimulator::~TerminalSimulator()
{
    Stop();
}

void TerminalSimulator::SetEventSink(EventSink sink)
{
    std::lock_guard lock(state->mutex);
    state->sink = std::move(sink);
}

bool TerminalSimulator::Start(std::string* error)
{
    State& s = *state;
    {
        std::lock_guard lock(s.mutex);
        if (s.running) {
            if (error)
                *error = "the simulator is already running";
            return false;
        }
    }
    if (!s.line.Open(error))
        return false;
    int wanted;
    {
        std::lock_guard lock(s.mutex);
        wanted = s.options.comNumber;
    }
    if (!s.alias.Publish(UserFolders::ComAliasFolder(), s.line.SlavePath(), wanted,
                         TerminalOptions::FirstAutoComNumber, error)) {
        s.line.Close();
        return false;
    }
    s.wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (s.wakeFd < 0) {
        if (error)
            *error = std::string("cannot create an event descriptor: ") + std::strerror(errno);
        s.alias.Remove();
        s.line.Close();
        return false;
    }

    std::lock_guard lock(s.mutex);
    s.comName = s.alias.Name();
    s.comNumber = s.alias.Number();
    s.slavePath = s.line.SlavePath();
    s.aliasPath = s.alias.Path();
    s.stopRequested = false;
    s.powerCycleRequested = false;
    s.unplugRequested = false;
    s.loaderRequest.reset();
    s.mode = InputMode::Command;
    s.input.clear();
    s.output.clear();
    s.paceBudget = 0;
    s.paceUpdatedAt = Clock::now();
    s.lateReplies.clear();
    s.chatterAt.reset();
    if (s.options.chatterIntervalMs > 0)
        s.chatterAt = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double, std::milli>(s.options.chatterIntervalMs));
    s.unplugAt.reset();
    if (s.options.unplugAfterMs > 0)
        s.unplugAt = Clock::now() + milliseconds(s.options.unplugAfterMs);
    s.SetLoaderState(s.options.loaderAtStart);
    s.running = true;
    s.thread = std::thread([&s] { s.Run(); });
    return true;
}

void TerminalSimulator::Stop()
{
    State& s = *state;
    {
        std::lock_guard lock(s.mutex);
        if (!s.running)
            return;
        s.stopRequested = true;
    }
    s.Wake();
    s.thread.join();
    std::lock_guard lock(s.mutex);
    s.line.Close();
    s.alias.Remove();
    close(s.wakeFd);
    s.wakeFd = -1;
    s.running = false;
}

std::string TerminalSimulator::ComName() const
{
    std::lock_guard lock(state->mutex);
    return state->comName;
}

int TerminalSimulator::ComNumber() const
{
    std::lock_guard lock(state->mutex);
    return state->comNumber;
}

std::string TerminalSimulator::SlavePath() const
{
    std::lock_guard lock(state->mutex);
    return state->slavePath;
}

std::string TerminalSimulator::AliasPath() const
{
    std::lock_guard lock(state->mutex);
    return state->aliasPath;
}

TerminalLoader TerminalSimulator::CurrentLoader() const
{
    std::lock_guard lock(state->mutex);
    return state->loader;
}

std::vector<TerminalEvent> TerminalSimulator::Events() const
{
    std::lock_guard lock(state->mutex);
    return {state->events.begin(), state->events.end()};
}

std::vector<ReceivedImage> TerminalSimulator::Images() const
{
    std::lock_guard lock(state->mutex);
    return state->images;
}

size_t TerminalSimulator::CountCommands(const std::string& command) const
{
    std::lock_guard lock(state->mutex);
    return static_cast<size_t>(std::count_if(state->events.begin(), state->events.end(), [&](const TerminalEvent& e) {
        return e.kind == TerminalEvent::Kind::Command && e.text == command;
    }));
}

std::vector<Clock::time_point> TerminalSimulator::CommandTimes(const std::string& command) const
{
    std::lock_guard lock(state->mutex);
    std::vector<Clock::time_point> times;
    for (const TerminalEvent& e : state->events)
        if (e.kind == TerminalEvent::Kind::Command && e.text == command)
            times.push_back(e.time);
    return times;
}

std::vector<std::string> TerminalSimulator::Commands() const
{
    std::lock_guard lock(state->mutex);
    std::vector<std::string> commands;
    for (const TerminalEvent& e : state->events)
        if (e.kind == TerminalEvent::Kind::Command)
            commands.push_back(e.text);
    return commands;
}

void TerminalSimulator::ClearLog()
{
    std::lock_guard lock(state->mutex);
    state->events.clear();
    state->images.clear();
}

bool TerminalSimulator::WaitForImage(milliseconds timeout, ReceivedImage* image, size_t index) const
{
    std::unique_lock lock(state->mutex);
    if (!state->changed.wait_for(lock, timeout, [&] { return state->images.size() > index; }))
        return false;
    if (image)
        *image = state->images[index];
    return true;
}

bool TerminalSimulator::WaitForEvent(const std::function<bool(const TerminalEvent&)>& predicate, milliseconds timeout,
                                     TerminalEvent* event) const
{
    std::unique_lock lock(state->mutex);
    const TerminalEvent* found = nullptr;
    auto search = [&] {
        for (const TerminalEvent& e : state->events) {
            if (predicate(e)) {
                found = &e;
                return true;
            }
        }
        return false;
    };
    if (!state->changed.wait_for(lock, timeout, search))
        return false;
    if (event)
        *event = *found;
    return true;
}

bool TerminalSimulator::WaitForCommandCount(const std::string& command, size_t count, milliseconds timeout) const
{
    std::unique_lock lock(state->mutex);
    return state->changed.wait_for(lock, timeout, [&] {
        size_t seen = 0;
        for (const TerminalEvent& e : state->events)
            if (e.kind == TerminalEvent::Kind::Command && e.text == command)
                ++seen;
        return seen >= count;
    });
}

bool TerminalSimulator::WaitForLoader(TerminalLoader loader, milliseconds timeout) const
{
    std::unique_lock lock(state->mutex);
    return state->changed.wait_for(lock, timeout, [&] { return state->loader == loader; });
}

void TerminalSimulator::PowerCycle()
{
    {
        std::lock_guard lock(state->mutex);
        if (!state->running)
            return;
        state->powerCycleRequested = true;
    }
    state->Wake();
}

void TerminalSimulator::SetLoader(TerminalLoader loader)
{
    if (loader != TerminalLoader::Off && loader != TerminalLoader::Bootloader && loader != TerminalLoader::Apploader)
        return;
    {
        std::lock_guard lock(state->mutex);
        if (!state->running)
            return;
        state->loaderRequest = loader;
    }
    state->Wake();
}

void TerminalSimulator::Unplug()
{
    {
        std::lock_guard lock(state->mutex);
        if (!state->running)
            return;
        state->unplugRequested = true;
    }
    state->Wake();
}

void TerminalSimulator::Replug()
{
    {
        std::lock_guard lock(state->mutex);
        if (!state->running)
            return;
        state->replugRequested = true;
    }
    state->Wake();
}

void TerminalSimulator::ChangeOptions(const std::function<void(TerminalOptions&)>& change)
{
    {
        std::lock_guard lock(state->mutex);
        change(state->options);
        if (!state->running)
            return;
    }
    state->Wake();
}

TerminalOptions TerminalSimulator::Options() const
{
    std::lock_guard lock(state->mutex);
    return state->options;
}

// ---------------------------------------------------------------------------
// The simulator's thread.

void TerminalSimulator::State::Run()
{
    std::unique_lock lock(mutex);
    bool masterReadable = false;
    bool masterWritable = false;
    while (!stopRequested) {
        Clock::time_point now = Clock::now();
        HandleRequests(now);

        // Pacing: the line delivers rate/10 bytes a second, banked for a short burst.
        size_t readLimit = ReadChunk;
        std::optional<Clock::time_point> paceReadyAt;
        if (options.paceLine) {
            LineSettings settings;
            double bytesPerSecond = (line.ReadLineSettings(&settings) && settings.rate > 0 ? settings.rate : BootloaderRate) / 10.0;
            double elapsed = std::chrono::duration<double>(now - paceUpdatedAt).count();
            paceBudget = std::min(paceBudget + elapsed * bytesPerSecond, std::max(1.0, bytesPerSecond * PaceBurstSeconds));
            paceUpdatedAt = now;
            readLimit = static_cast<size_t>(paceBudget);
            if (readLimit == 0)
                paceReadyAt = now + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>((1.0 - paceBudget) / bytesPerSecond));
        }
        bool stalled = stallEndsAt.has_value();

        if (masterReadable && readLimit > 0 && !stalled && line.IsOpen())
            ReadLine(now, readLimit);
        if (masterWritable)
            FlushOutput();
        masterReadable = masterWritable = false;
        RunTimers(Clock::now());
        HandleRequests(Clock::now()); // the input just read may have asked for an unplug
        FeedStream(Clock::now());
        if (line.IsOpen() && !output.empty())
            FlushOutput();

        // Work out what to wait for.
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {line.IsOpen() ? line.MasterFd() : -1, 0, 0}};
        if (line.IsOpen()) {
            if (readLimit > 0 && !stallEndsAt)
                fds[1].events |= POLLIN;
            if (!output.empty())
                fds[1].events |= POLLOUT;
        }
        std::optional<Clock::time_point> deadline = NextDeadline();
        if (paceReadyAt && (!deadline || *paceReadyAt < *deadline))
            deadline = paceReadyAt;
        if (stream.checkAt && (!deadline || *stream.checkAt < *deadline))
            deadline = stream.checkAt;
        int timeoutMs = -1;
        if (deadline) {
            auto wait = std::chrono::ceil<milliseconds>(*deadline - Clock::now()).count();
            timeoutMs = static_cast<int>(std::clamp<long long>(wait, 0, 60 * 60 * 1000));
        }

        std::vector<TerminalEvent> deliver;
        deliver.swap(toSink);
        EventSink notify = sink;
        lock.unlock();
        for (const TerminalEvent& event : deliver)
            notify(event);
        int ready = poll(fds, 2, timeoutMs);
        lock.lock();
        if (ready > 0) {
            if (fds[0].revents & POLLIN) {
                uint64_t count;
                ssize_t got = read(wakeFd, &count, sizeof count);
                (void)got;
            }
            masterReadable = (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
            masterWritable = (fds[1].revents & POLLOUT) != 0;
        }
    }
    std::vector<TerminalEvent> deliver;
    deliver.swap(toSink);
    EventSink notify = sink;
    lock.unlock();
    for (const TerminalEvent& event : deliver)
        notify(event);
}

void TerminalSimulator::State::HandleRequests(Clock::time_point now)
{
    if (unplugRequested) {
        unplugRequested = false;
        Unplug();
    }
    if (replugRequested) {
        replugRequested = false;
        Replug();
    }
    if (loader == TerminalLoader::Unplugged) {
        powerCycleRequested = false;
        loaderRequest.reset();
        return;
    }
    if (powerCycleRequested) {
        powerCycleRequested = false;
        PowerCycle(now);
    }
    if (loaderRequest) {
        TerminalLoader next = *loaderRequest;
        loaderRequest.reset();
        AbandonImage("the loader was switched during the transfer");
        SetLoaderState(next);
    }
}

std::optional<Clock::time_point> TerminalSimulator::State::NextDeadline() const
{
    std::optional<Clock::time_point> next;
    auto consider = [&](const std::optional<Clock::time_point>& at) {
        if (at && (!next || *at < *next))
            next = at;
    };
    consider(restartDoneAt);
    consider(powerUpEndsAt);
    consider(enteringAt);
    consider(autoPowerCycleAt);
    consider(graceEndsAt);
    consider(xonAt);
    consider(stallEndsAt);
    consider(chatterAt);
    consider(unplugAt);
    if (!lateReplies.empty())
        consider(lateReplies.front().due);
    if (mode != InputMode::Command) {
        Clock::time_point base = std::max(lastImageByte, holdEndedAt);
        if (!xonAt && !stallEndsAt)
            consider(base + milliseconds(options.imageIdleMs));
    }
    return next;
}

void TerminalSimulator::State::RunTimers(Clock::time_point now)
{
    if (xonAt && now >= *xonAt) {
        xonAt.reset();
        holdEndedAt = now;
        SendRaw(XonByte);
        Log(TerminalEvent::Kind::LineControl, "XON sent: the line may go on");
    }
    if (stallEndsAt && now >= *stallEndsAt) {
        stallEndsAt.reset();
        holdEndedAt = now;
        Log(TerminalEvent::Kind::LineControl, "reading resumed");
    }
    if (graceEndsAt && now >= *graceEndsAt) {
        graceEndsAt.reset();
        ParseInput(now, true);
    }
    if (mode != InputMode::Command && !xonAt && !stallEndsAt &&
        now >= std::max(lastImageByte, holdEndedAt) + milliseconds(options.imageIdleMs)) {
        if (mode == InputMode::DiscardUntilIdle) {
            mode = InputMode::Command;
            Log(TerminalEvent::Kind::Ignored, "the line went quiet; listening for commands again");
        } else {
            FinishImage(true);
        }
    }
    while (!lateReplies.empty() && now >= lateReplies.front().due) {
        LateReply reply = std::move(lateReplies.front());
        lateReplies.pop_front();
        if (reply.raw)
            for (uint8_t byte : reply.bytes)
                SendRaw(byte);
        else
            Send(reply.bytes.data(), reply.bytes.size());
    }
    if (chatterAt && now >= *chatterAt)
        Chatter(now);
    if (unplugAt && now >= *unplugAt) {
        unplugAt.reset();
        Unplug();
    }
    if (restartDoneAt && now >= *restartDoneAt) {
        restartDoneAt.reset();
        if (options.bootChatter)
            Send(BootDoneText, std::strlen(BootDoneText));
        SetLoaderState(restartTarget);
    }
    if (enteringAt && now >= *enteringAt) {
        enteringAt.reset();
        Send(EnteringText, std::strlen(EnteringText));
        SetLoaderState(TerminalLoader::Bootloader);
    }
    if (powerUpEndsAt && now >= *powerUpEndsAt) {
        powerUpEndsAt.reset();
        TerminalLoader boot = options.loaderAtStart;
        SetLoaderState(boot == TerminalLoader::PoweringUp || boot == TerminalLoader::Restarting ||
                               boot == TerminalLoader::Unplugged
                           ? TerminalLoader::Off
                           : boot);
    }
    if (autoPowerCycleAt && now >= *autoPowerCycleAt) {
        autoPowerCycleAt.reset();
        PowerCycle(now);
    }
}

void TerminalSimulator::State::ReadLine(Clock::time_point now, size_t maxBytes)
{
    uint8_t buffer[ReadChunk];
    ssize_t got = read(line.MasterFd(), buffer, std::min(maxBytes, sizeof buffer));
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got <= 0) {
        // The own slave descriptor keeps the line up, so this is a dead line,
        // and polling it again would only spin.
        Log(TerminalEvent::Kind::Ignored, std::string("the line failed: ") + (got < 0 ? std::strerror(errno) : "end of file"));
        Unplug();
        return;
    }
    size_t count = static_cast<size_t>(got);
    if (options.paceLine)
        paceBudget -= static_cast<double>(count);
    Log(TerminalEvent::Kind::Received, "", buffer, count);
    WatchForInduce(buffer, count, now);

    bool wantUnescaping = loader == TerminalLoader::Apploader && options.flowControlReply == XonXoffFlowReply;
    if (wantUnescaping != unescaping) {
        unescaping = wantUnescaping;
        unescaper.DropPendingEscape();
    }
    std::string why;
    LineSettings settings;
    if (!line.ReadLineSettings(&settings)) {
        Log(TerminalEvent::Kind::Ignored, "cannot read the line settings");
        return;
    }
    if (!LineMatchesLoader(settings, &why)) {
        Log(TerminalEvent::Kind::Ignored, why);
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        // While escaping is on, data never travels as a bare XON or XOFF: those
        // are the far end's own flow control.
        if (unescaping && (buffer[i] == XonByte || buffer[i] == XoffByte))
            Log(TerminalEvent::Kind::LineControl, buffer[i] == XoffByte ? "the far end sent XOFF" : "the far end sent XON");
        else
            input.push_back(buffer[i]);
    }
    if (mode != InputMode::Command)
        lastImageByte = now;
    ParseInput(now, false);
}

bool TerminalSimulator::State::LineMatchesLoader(const LineSettings& settings, std::string* why) const
{
    switch (loader) {
    case TerminalLoader::Bootloader:
    case TerminalLoader::PoweringUp:
        if (settings.rate == BootloaderRate && !settings.twoStopBits)
            return true;
        *why = "line at " + Describe(settings) + ", but the " + TerminalLoaderName(loader) +
               " listens at 115200 8N1";
        return false;
    case TerminalLoader::Apploader: {
        bool twoStop = options.apploaderFormat.size() == 3 && options.apploaderFormat[2] == '2';
        if (settings.rate == options.apploaderRate && settings.twoStopBits == twoStop)
            return true;
        *why = "line at " + Describe(settings) + ", but the apploader listens at " +
               std::to_string(options.apploaderRate) + " " + options.apploaderFormat;
        return false;
    }
    case TerminalLoader::Off:
        *why = "no loader is running";
        return false;
    case TerminalLoader::Restarting:
        *why = "restarting";
        return false;
    case TerminalLoader::Unplugged:
        *why = "unplugged";
        return false;
    }
    return false;
}

// Stands in for the operator who cycles power when the induction dialog asks:
// watches the raw line, whatever the unit is doing.
void TerminalSimulator::State::WatchForInduce(const uint8_t* data, size_t length, Clock::time_point now)
{
    for (size_t i = 0; i < length; ++i) {
        rawIRun = data[i] == 'I' ? rawIRun + 1 : 0;
        if (rawIRun >= InduceRun && options.powerCycleOnInduceMs > 0 && !autoPowerCycleAt &&
            loader != TerminalLoader::Bootloader && loader != TerminalLoader::PoweringUp &&
            loader != TerminalLoader::Restarting) {
            autoPowerCycleAt = now + milliseconds(options.powerCycleOnInduceMs);
            Log(TerminalEvent::Kind::LineControl,
                "induction seen: cycling power in " + std::to_string(options.powerCycleOnInduceMs) + " ms");
        }
    }
}

void TerminalSimulator::State::ParseInput(Clock::time_point now, bool flush)
{
    while (!input.empty()) {
        switch (mode) {
        case InputMode::Frame:
        case InputMode::Application:
            TakeImageInput(now);
            continue;
        case InputMode::DiscardUntilIdle:
            input.clear();
            return;
        case InputMode::Command:
            break;
        }
        if (!ParseCommand(flush)) {
            // An incomplete command: give the rest a moment to arrive.
            if (!graceEndsAt)
                graceEndsAt = now + CommandGrace;
            return;
        }
    }
    EndGarbageRun();
    graceEndsAt.reset();
}

// Takes one command (or one byte of garbage, or the start of an image) off the
// front of the input. Returns false when the input ends inside what may be a
// command; flush says that no more is coming for now.
bool TerminalSimulator::State::ParseCommand(bool flush)
{
    uint8_t first = input[0];
    auto consume = [&](size_t n) { input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(n)); };

    // Consumed before it is acted on: answering may switch the loader, which
    // drops the rest of the input.
    if (loader == TerminalLoader::PoweringUp) {
        consume(1);
        CountIs(first);
        return true;
    }

    if (loader == TerminalLoader::Bootloader && first == 'S') {
        if (input.size() < 2 && !flush)
            return false;
        if (input.size() >= 2 && input[1] == ',') {
            EndGarbageRun();
            StartImage(true);
            return true;
        }
    }
    if (loader == TerminalLoader::Apploader && flowQueried) {
        // After "F;" anything that is not a command is the image, whatever byte
        // it starts with.
        bool commandAhead = IsCommandLetter(first) && (input.size() < 2 || input[1] == ';');
        if (commandAhead && input.size() < 2 && !flush)
            return false;
        if (!commandAhead || input.size() < 2) {
            EndGarbageRun();
            StartImage(versionQueried);
            return true;
        }
    }

    if (first == 'I') {
        consume(1);
        CountIs(first);
        return true;
    }
    commandIRun = 0;
    if (!IsCommandLetter(first)) {
        NoteGarbage(1);
        consume(1);
        return true;
    }
    if (input.size() < 2) {
        if (!flush)
            return false;
        NoteGarbage(1);
        consume(1);
        return true;
    }
    if (input[1] != ';') {
        NoteGarbage(1);
        consume(1);
        return true;
    }
    if (first == 'Q') {
        static const char VersionQuery[] = "Q;W;Q;";
        size_t match = 0;
        while (match < 6 && match < input.size() && input[match] == static_cast<uint8_t>(VersionQuery[match]))
            ++match;
        if (match == 6) {
            EndGarbageRun();
            consume(6);
            HandleCommand(VersionQuery);
            return true;
        }
        if (match == input.size() && !flush)
            return false; // may yet become the version query
    }
    EndGarbageRun();
    std::string command{static_cast<char>(first), ';'};
    consume(2);
    HandleCommand(command);
    return true;
}

// Moves line bytes into the image, undoing the escaping; what follows the
// image's end goes back to the input as commands.
void TerminalSimulator::State::TakeImageInput(Clock::time_point now)
{
    size_t lineCount = input.size();
    if (unescaping)
        unescaper.Feed(input.data(), input.size(), decoded);
    else
        decoded.insert(decoded.end(), input.begin(), input.end());
    input.clear();

    size_t used = 0;
    if (mode == InputMode::Frame) {
        used = frame->Feed(decoded.data(), decoded.size());
    } else {
        size_t expected = options.expectedImageSize;
        used = decoded.size();
        if (expected > 0)
            used = expected > application.bytes.size() ? std::min(used, expected - application.bytes.size()) : 0;
        application.bytes.insert(application.bytes.end(), decoded.begin(), decoded.begin() + static_cast<std::ptrdiff_t>(used));
    }
    std::vector<uint8_t> rest(decoded.begin() + static_cast<std::ptrdiff_t>(used), decoded.end());
    decoded.clear();
    // The line bytes of what went back are not the image's.
    ImageProgress(lineCount - std::min(lineCount, rest.size()), now);

    bool done = mode == InputMode::Frame ? frame->GetStatus() != FirmwareFrameReader::Status::Reading
                                         : options.expectedImageSize > 0 && application.bytes.size() >= options.expectedImageSize;
    if (done) {
        FinishImage(false);
        if (mode == InputMode::Command)
            input = std::move(rest);
    }
}

void TerminalSimulator::State::CountIs(uint8_t byte)
{
    if (byte != 'I') {
        commandIRun = 0;
        return;
    }
    if (++commandIRun < InduceRun)
        return;
    commandIRun = 0;
    Log(TerminalEvent::Kind::Command, "IIIII");
    if (loader != TerminalLoader::PoweringUp || inductionAnswered || options.inductionReply == InductionReply::Nothing)
        return;
    inductionAnswered = true;
    Send(NoticeText, std::strlen(NoticeText));
    if (options.inductionReply == InductionReply::NoticeOnly)
        return;
    powerUpEndsAt.reset();
    if (options.enteringDelayMs <= 0) {
        Send(EnteringText, std::strlen(EnteringText));
        SetLoaderState(TerminalLoader::Bootloader);
    } else {
        enteringAt = Clock::now() + milliseconds(options.enteringDelayMs);
    }
}

void TerminalSimulator::State::NoteGarbage(size_t count)
{
    garbageRun += count;
}

void TerminalSimulator::State::EndGarbageRun()
{
    if (garbageRun == 0)
        return;
    Log(TerminalEvent::Kind::Ignored, std::to_string(garbageRun) + " byte(s) that are no command");
    garbageRun = 0;
}

void TerminalSimulator::State::HandleCommand(const std::string& command)
{
    Log(TerminalEvent::Kind::Command, command);
    if (!options.chatterAlways)
        chatterAt.reset(); // a terminal that talks until someone speaks to it
    bool boot = loader == TerminalLoader::Bootloader;
    bool app = loader == TerminalLoader::Apploader;
    Clock::time_point now = Clock::now();

    if (command == "Q;") {
        versionQueried = false;
        flowQueried = false;
        Reply(boot ? BootloaderMarker : ApploaderMarker, 2);
    } else if (command == "Q;W;Q;") {
        versionQueried = false;
        flowQueried = false;
        std::vector<uint8_t> reply;
        const uint8_t* marker = boot ? BootloaderMarker : ApploaderMarker;
        reply.insert(reply.end(), marker, marker + 2);
        if (app) {
            if (options.firmwareVersion.empty() || options.refuseVersion) {
                reply.insert(reply.end(), IllegalReply, IllegalReply + std::strlen(IllegalReply));
            } else {
                reply.insert(reply.end(), options.firmwareVersion.begin(), options.firmwareVersion.end());
                versionQueried = true;
            }
        }
        reply.insert(reply.end(), marker, marker + 2);
        Reply(reply.data(), reply.size());
    } else if (command == "W;") {
        if (app) {
            if (options.firmwareVersion.empty() || options.refuseVersion) {
                Reply(IllegalReply, std::strlen(IllegalReply));
            } else {
                Reply(options.firmwareVersion.data(), options.firmwareVersion.size());
                versionQueried = true;
            }
        }
    } else if (command == "F;") {
        if (app) {
            flowQueried = true;
            if (options.flowControlReply >= 0) {
                uint8_t reply = static_cast<uint8_t>(options.flowControlReply);
                Reply(&reply, 1, true); // never escaped: it tells whether escaping is on
            }
        }
    } else if (command == "R;") {
        if (app) {
            if (options.refuseR)
                Reply(IllegalReply, std::strlen(IllegalReply));
            else
                Restart(TerminalLoader::Bootloader, now);
        }
    } else if (command == "A;" || command == "B;") {
        if (boot) {
            if ((command == "A;" && options.refuseA) || (command == "B;" && options.refuseB))
                Reply(IllegalReply, std::strlen(IllegalReply));
            else
                Restart(TerminalLoader::Apploader, now);
        }
    }
    // "q;" asks for nothing.
}

void TerminalSimulator::State::StartImage(bool firmware)
{
    imageBytes = 0;
    xoffDone = stallDone = false;
    lastImageByte = Clock::now();
    holdEndedAt = lastImageByte;
    escapeErrorsAtStart = unescaper.BadEscapes();
    frameNotTaken = false;
    lineMismatch = CheckLineFlow();
    if (!lineMismatch.empty())
        Log(TerminalEvent::Kind::LineControl, lineMismatch);
    if (firmware) {
        mode = InputMode::Frame;
        frame = std::make_unique<FirmwareFrameReader>(options.maxImageSize);
        frame->Image().escaped = unescaping;
        if (loader == TerminalLoader::Apploader) {
            double version = FirmwareVersionNumber();
            if (version < FirstFrameVersion) {
                frameNotTaken = true;
                notTakenReason = "this apploader (version " + options.firmwareVersion + ") takes no firmware frame";
            }
        }
        Log(TerminalEvent::Kind::ImageStarted, "firmware");
    } else {
        mode = InputMode::Application;
        application = ReceivedImage();
        application.kind = ReceivedImage::Kind::Application;
        application.escaped = unescaping;
        Log(TerminalEvent::Kind::ImageStarted, "application");
    }
}

// Counts line bytes of the image and plays the line mishaps the options ask for.
void TerminalSimulator::State::ImageProgress(size_t consumed, Clock::time_point now)
{
    imageBytes += consumed;
    if (options.xoffAfterBytes > 0 && !xoffDone && imageBytes >= options.xoffAfterBytes) {
        xoffDone = true;
        SendRaw(XoffByte);
        xonAt = now + milliseconds(options.xoffHoldMs);
        Log(TerminalEvent::Kind::LineControl, "XOFF sent after " + std::to_string(imageBytes) + " bytes");
    }
    if (options.stallAfterBytes > 0 && !stallDone && imageBytes >= options.stallAfterBytes) {
        stallDone = true;
        stallEndsAt = now + milliseconds(options.stallMs);
        Log(TerminalEvent::Kind::LineControl, "reading stalled after " + std::to_string(imageBytes) + " bytes");
    }
    if (options.unplugAfterBytes > 0 && imageBytes >= options.unplugAfterBytes)
        unplugRequested = true; // carried out before the next poll, after this input is parsed
}

void TerminalSimulator::State::FinishImage(bool endOfInput, const std::string& override)
{
    ReceivedImage image;
    if (mode == InputMode::Frame && frame) {
        if (endOfInput)
            frame->EndOfInput();
        image = frame->Image();
        bool complete = frame->FrameComplete();
        frame.reset();
        mode = complete || endOfInput ? InputMode::Command : InputMode::DiscardUntilIdle;
        if (mode == InputMode::DiscardUntilIdle)
            input.clear(); // the rest of a refused frame is not a command
        if (frameNotTaken && image.accepted) {
            image.accepted = false;
            image.verdict = "frame intact, but " + notTakenReason;
        }
    } else if (mode == InputMode::Application) {
        image = std::move(application);
        application = ReceivedImage();
        mode = InputMode::Command;
        image.accepted = true;
        image.verdict = "application received (" + std::to_string(image.bytes.size()) + " bytes)";
    } else {
        return;
    }
    image.lineBytes = imageBytes;
    image.escapeErrors = unescaper.BadEscapes() - escapeErrorsAtStart;
    if (image.escapeErrors > 0 && image.kind == ReceivedImage::Kind::Application) {
        image.accepted = false;
        image.verdict += ", but " + std::to_string(image.escapeErrors) + " broken escape pair(s) were dropped";
    }
    if (!lineMismatch.empty() && image.accepted) {
        image.accepted = false;
        image.verdict += ", but " + lineMismatch;
    }
    lineMismatch.clear();
    if (!override.empty()) {
        image.accepted = false;
        image.verdict = override + " (" + std::to_string(image.bytes.size()) + " data bytes had arrived)";
    }
    versionQueried = false;
    flowQueried = false;
    xonAt.reset();
    stallEndsAt.reset();
    Log(TerminalEvent::Kind::ImageReceived, image.verdict);
    images.push_back(std::move(image));
    // Back to its idle talk once a download is over, until the next command.
    if (options.chatterIntervalMs > 0 && !chatterAt)
        chatterAt = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double, std::milli>(options.chatterIntervalMs));
    changed.notify_all();
}

void TerminalSimulator::State::AbandonImage(const std::string& why)
{
    if (mode == InputMode::Frame || mode == InputMode::Application)
        FinishImage(false, why);
    mode = InputMode::Command;
    input.clear();
}

void TerminalSimulator::State::Send(const void* data, size_t length)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (options.silent || !line.IsOpen() || length == 0)
        return;
    if (unescaping) {
        std::vector<uint8_t> escaped = XonXoffUnescaper::Escape(bytes, length);
        output.insert(output.end(), escaped.begin(), escaped.end());
    } else {
        output.insert(output.end(), bytes, bytes + length);
    }
    Log(TerminalEvent::Kind::Sent, "", bytes, length);
}

// A reply to a command: late when the options say so, in the order given.
void TerminalSimulator::State::Reply(const void* data, size_t length, bool raw)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (options.replyDelayMs <= 0 && lateReplies.empty()) {
        if (raw)
            for (size_t i = 0; i < length; ++i)
                SendRaw(bytes[i]);
        else
            Send(bytes, length);
        return;
    }
    lateReplies.push_back({Clock::now() + milliseconds(options.replyDelayMs), {bytes, bytes + length}, raw});
}

void TerminalSimulator::State::Chatter(Clock::time_point now)
{
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(std::max(options.chatterIntervalMs, 0.05)));
    int due = 0;
    while (*chatterAt <= now && due < MaxChatterLinesAtOnce) {
        *chatterAt += interval;
        ++due;
    }
    if (*chatterAt <= now)
        chatterAt = now + interval; // fell behind: skip rather than flood
    if (loader == TerminalLoader::Unplugged)
        return;
    std::string text;
    for (int i = 0; i < due; ++i)
        text += "status " + std::to_string(++chatterLines) + ": running, 41 C\r\n";
    // Nobody reads the line: a real terminal's talk would be lost on the wire too.
    if (options.silent || !line.IsOpen() || output.size() > MaxChatterBacklog)
        return;
    // Not logged line by line: at a line every half millisecond the log would
    // hold little else. Every thousandth line says how far the talk has got.
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    if (unescaping) {
        std::vector<uint8_t> escaped = XonXoffUnescaper::Escape(bytes, text.size());
        output.insert(output.end(), escaped.begin(), escaped.end());
    } else {
        output.insert(output.end(), bytes, bytes + text.size());
    }
    if (chatterLines / 1000 != (chatterLines - static_cast<uint64_t>(due)) / 1000)
        Log(TerminalEvent::Kind::LineControl, std::to_string(chatterLines) + " status lines sent so far");
}

// What a real loader would make of the far end's flow control: the bootloader
// uses none, the apploader the one it answered "F;" with. Empty when it fits.
std::string TerminalSimulator::State::CheckLineFlow() const
{
    LineSettings settings;
    if (!options.checkLineFlow || !line.ReadLineSettings(&settings))
        return std::string();
    const bool wantXonXoff = loader == TerminalLoader::Apploader && options.flowControlReply == XonXoffFlowReply;
    const bool wantRtsCts = loader == TerminalLoader::Apploader && options.flowControlReply == 0x82;
    const bool hasXonXoff = settings.xonXoff && settings.xoffSent;
    if (hasXonXoff != wantXonXoff || settings.xonXoff != settings.xoffSent)
        return std::string("the far end's line has Xon/Xoff ") + (settings.xonXoff || settings.xoffSent ? "on" : "off") +
               " while the " + TerminalLoaderName(loader) + " uses " + (wantXonXoff ? "Xon/Xoff" : "none");
    if (settings.rtsCts != wantRtsCts)
        return std::string("the far end's line has RTS/CTS ") + (settings.rtsCts ? "on" : "off") + " while the " +
               TerminalLoaderName(loader) + (wantRtsCts ? " uses it" : " does not");
    return std::string();
}

// XON/XOFF and the flow-control reply go out as they are.
void TerminalSimulator::State::SendRaw(uint8_t byte)
{
    if (options.silent || !line.IsOpen())
        return;
    output.push_back(byte);
    Log(TerminalEvent::Kind::Sent, "", &byte, 1);
}

void TerminalSimulator::State::FlushOutput()
{
    while (!output.empty() && line.IsOpen()) {
        ssize_t written = write(line.MasterFd(), output.data(), output.size());
        if (written <= 0)
            return; // the slave's input is full (nobody reads): wait for POLLOUT
        output.erase(output.begin(), output.begin() + written);
    }
}

void TerminalSimulator::State::SetLoaderState(TerminalLoader next)
{
    restartDoneAt.reset();
    enteringAt.reset();
    if (next != TerminalLoader::PoweringUp)
        powerUpEndsAt.reset();
    ResetDialogue();
    loader = next;
    unescaping = next == TerminalLoader::Apploader && options.flowControlReply == XonXoffFlowReply;
    Log(TerminalEvent::Kind::LoaderChanged, TerminalLoaderName(next));
}

void TerminalSimulator::State::ResetDialogue()
{
    input.clear();
    graceEndsAt.reset();
    garbageRun = 0;
    commandIRun = 0;
    versionQueried = false;
    flowQueried = false;
    unescaper.DropPendingEscape();
    if (mode == InputMode::DiscardUntilIdle)
        mode = InputMode::Command;
}

void TerminalSimulator::State::Restart(TerminalLoader target, Clock::time_point now)
{
    if (options.bootChatter)
        Send(BootBanner, std::strlen(BootBanner));
    if (options.restartMs <= 0) {
        SetLoaderState(target);
        return;
    }
    SetLoaderState(TerminalLoader::Restarting);
    restartTarget = target;
    restartDoneAt = now + milliseconds(options.restartMs);
}

void TerminalSimulator::State::PowerCycle(Clock::time_point now)
{
    AbandonImage("power was cycled during the transfer");
    autoPowerCycleAt.reset();
    inductionAnswered = false;
    SetLoaderState(TerminalLoader::PoweringUp);
    powerUpEndsAt = now + milliseconds(options.powerUpWindowMs);
    if (options.bootChatter)
        Send(BootBanner, std::strlen(BootBanner));
}

void TerminalSimulator::State::Replug()
{
    if (loader != TerminalLoader::Unplugged)
        return;
    std::string error;
    if (!line.Open(&error) || !alias.Publish(UserFolders::ComAliasFolder(), line.SlavePath(), comNumber, comNumber, &error)) {
        line.Close();
        Log(TerminalEvent::Kind::Ignored, "cannot plug the line in again: " + error);
        return;
    }
    slavePath = line.SlavePath();
    aliasPath = alias.Path();
    mode = InputMode::Command;
    input.clear();
    lateReplies.clear();
    Log(TerminalEvent::Kind::LoaderChanged, "plugged in again as " + comName);
    SetLoaderState(options.loaderAtStart);
}

void TerminalSimulator::State::Unplug()
{
    if (loader == TerminalLoader::Unplugged)
        return;
    AbandonImage("the line was unplugged during the transfer");
    line.Close();
    alias.Remove();
    output.clear();
    lateReplies.clear();
    xonAt.reset();
    stallEndsAt.reset();
    autoPowerCycleAt.reset();
    SetLoaderState(TerminalLoader::Unplugged);
    Log(TerminalEvent::Kind::Unplugged, "the line was unplugged");
}

double TerminalSimulator::State::FirmwareVersionNumber() const
{
    if (options.firmwareVersion.empty() || options.refuseVersion)
        return 0;
    return std::strtod(options.firmwareVersion.c_str(), nullptr);
}

// Hands the line the next piece of console traffic whenever what went before
// has left, so the stream runs as fast as the far end reads it.
void TerminalSimulator::State::FeedStream(Clock::time_point now)
{
    stream.checkAt.reset();
    if (options.streamBytes == 0 || options.silent || !line.IsOpen() || (stream.finished && output.empty()))
        return;
    if (!stream.portOpened) {
        if (!FarEndHasPortOpen(line.SlavePath())) {
            stream.checkAt = now + StreamOpenCheck;
            return;
        }
        stream.portOpened = true;
        Log(TerminalEvent::Kind::LineControl, "the port was opened: sending " + std::to_string(options.streamBytes) +
                                                  (options.streamMixed ? " bytes of every value" : " bytes of text lines"));
    }
    // Until the line is full: then what is left waits for POLLOUT, and the
    // next piece follows once it has gone.
    while (output.empty() && stream.sent < options.streamBytes && line.IsOpen()) {
        size_t count = std::min(StreamPiece, options.streamBytes - stream.sent);
        for (size_t i = 0; i < count; ++i)
            output.push_back(stream.NextByte(options.streamMixed));
        stream.sent += count;
        FlushOutput();
    }
    // A pseudo-terminal does not always tell its master that the far end has
    // read (POLLOUT may never come), so a stream that waits looks again soon.
    if (!output.empty())
        stream.checkAt = now + StreamWriteRetry;
    if (stream.sent == options.streamBytes && !stream.finished) {
        stream.finished = true;
        Log(TerminalEvent::Kind::LineControl, "console traffic sent");
    }
}
