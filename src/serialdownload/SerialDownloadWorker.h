#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "DownloadFile.h"
#include "DownloadReporter.h"
#include "SerialPort.h"
#include "TransferObserver.h"

class LoaderDialogue;

// Everything one download touches. The worker keeps its own copy, so the job
// record that started it may be destroyed while it runs.
struct SerialDownloadParams {
    std::string path;
    DownloadFileKind kind = Firmware;
    // Shared with the window: it stays open and valid until the worker lets go,
    // whatever the window does with its own reference meanwhile.
    std::shared_ptr<SerialPort> port;
    // Long-lived and owned by the window; it must outlive every worker it is
    // handed to. Not touched after Finish.
    DownloadReporter* reporter = nullptr;
    // 1 while the worker runs; cleared just before Finish.
    std::shared_ptr<std::atomic<int>> running;
    // Told of the file's bytes as they are read and sent; may be null.
    std::shared_ptr<TransferObserver> observer;
};

// One serial download, from disarming the window's notifications to Finish: brings
// the terminal into a loader that takes the file, finds its flow control, and sends
// the file in 512-byte blocks. Runs on its own thread; every wait can be cancelled.
class SerialDownloadWorker {
public:
    explicit SerialDownloadWorker(SerialDownloadParams params);

    // Runs the download to its end and reports it; returns 1 in every case.
    int Run();

    static constexpr int BlockSize = 512;
    // Pause between unanswered state queries and before acting on an answer; with
    // the reply window this polls about every 200 ms.
    static constexpr int PollPauseMs = 100;
    // While a block drains, cancellation and a vanished device are looked at this
    // often, so that a line held by flow control never holds the operator.
    static constexpr int DrainSliceMs = 50;
    // Flow-control and loader failures end the download only from this pass on.
    static constexpr int PassesBeforeGivingUp = 3;
    static constexpr int FlowQueriesPerPass = 3;

private:
    enum class Drain { Sent, Cancelled, Lost };

    // Steps through the loaders until the transfer can begin. False with the final
    // text in *outcome when the download ends before it.
    bool Converse(LoaderDialogue& dialogue, FlowControl& type, std::string& outcome);
    std::string Transfer(FlowControl type);
    Drain WaitForDrain();
    void Pause() const;
    void End(const std::string& finalText);

    std::string LostText() const;

    SerialDownloadParams params;
    bool notificationsDisarmed = false;
};
