#pragma once

#include "DownloadReporter.h"
#include "TransferObserver.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

// One Ethernet download: writes the chosen file to the unit's TFTP server, under
// the remote name its kind selects, on a detached worker thread of its own.
//
// Ownership: the main window owns the job and deletes it when the next download
// begins, possibly while the worker is still unwinding. The worker therefore
// never touches the job object: everything it reads or writes lives in a Shared
// record that the job and the worker hold together (std::shared_ptr), so the
// record lives until both have let go of it. The reporter is borrowed and must
// outlive the worker; the program's reporter lives as long as the process.
class EthernetDownloadJob {
public:
    // The unit's TFTP server port; every packet of a transfer goes there.
    static constexpr uint16_t UnitTftpPort = 69;
    // Pause between the unit's acknowledgement of the request and the first
    // block: the unit prepares its flash in that time.
    static constexpr std::chrono::milliseconds FirstBlockDelay{200};

    struct Shared {
        Shared(DownloadReporter& reporter, std::string path, int kind, std::string unitAddress,
               uint16_t destinationPort);

        DownloadReporter& reporter;
        // 1 from a successful Start until the worker's last act, 0 otherwise. The
        // worker clears it with release order once it is done with the reporter,
        // so a reader that sees 0 (acquire) sees the whole transfer finished.
        std::atomic<int> running{0};
        const std::string path;
        const std::string unitAddress; // dotted decimal, as the Ethernet page formats it
        const int kind;                // DownloadFileKind: Firmware or Application
        const uint16_t destinationPort;
        // Only a stand-in unit that needs no time to prepare (a fuzz target that
        // runs thousands of transfers) shortens it; set before the worker starts.
        std::chrono::milliseconds firstBlockDelay = FirstBlockDelay;
        // Told of the file's bytes as they are read and acknowledged; may be null.
        // Set before the worker starts.
        std::shared_ptr<TransferObserver> observer;
    };

    // destinationPort is the unit's port 69 in the program; tests point it at a
    // simulator on a free port. observer, when given, hears of the file's bytes
    // for the download's record.
    EthernetDownloadJob(std::string path, int kind, std::string unitAddress, DownloadReporter& reporter,
                        uint16_t destinationPort = UnitTftpPort, std::shared_ptr<TransferObserver> observer = nullptr);

    EthernetDownloadJob(const EthernetDownloadJob&) = delete;
    EthernetDownloadJob& operator=(const EthernetDownloadJob&) = delete;

    // Starts the worker. False when a transfer of this job is still running or
    // the thread can't be created.
    bool Start();
    bool IsRunning() const;

    // The worker: one transfer from start-up to Finish, then running cleared.
    // Returns 0. Start runs it on a thread of its own.
    static int RunTransfer(std::shared_ptr<Shared> job);

private:
    std::shared_ptr<Shared> shared;
};
