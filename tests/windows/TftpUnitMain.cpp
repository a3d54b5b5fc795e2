// vennix-tftp-unit: the simulator's TFTP server as a program of its own for the
// Windows stage and its benchmark, which run the client under wine and so out
// of process. Saves every file it receives and prints one line per file with
// what the server saw of the transfer.
//
// Usage: vennix-tftp-unit PORT SAVE-DIR [COST-MS [RECEIVE-BUFFERS]]
// Ends on SIGINT or SIGTERM.

#include "TftpServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int)
{
    gStop = 1;
}

// How often a finished transfer is looked for; far below the server's end idle.
constexpr auto PollInterval = std::chrono::milliseconds(20);

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: vennix-tftp-unit PORT SAVE-DIR [COST-MS [RECEIVE-BUFFERS]]\n");
        return 2;
    }
    TftpServerOptions options;
    options.port = static_cast<uint16_t>(std::atoi(argv[1]));
    const std::string saveDir = argv[2];
    if (argc > 3)
        options.datagramCostMs = std::atof(argv[3]);
    if (argc > 4)
        options.receiveQueue = std::atoi(argv[4]);
    options.keepBytes = true;

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    TftpServer server(options);
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "vennix-tftp-unit: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on port %u\n", static_cast<unsigned>(server.BoundPort()));
    std::fflush(stdout);

    size_t saved = 0;
    while (!gStop) {
        std::this_thread::sleep_for(PollInterval);
        const std::vector<TftpReceivedFile> files = server.ReceivedFiles();
        for (; saved < files.size(); ++saved) {
            const TftpReceivedFile& file = files[saved];
            const std::string path = saveDir + "/received-" + std::to_string(saved + 1) + ".bin";
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<std::streamsize>(file.bytes.size()));
            const TftpServerStats stats = server.Stats();
            std::printf("file %s %llu bytes, %llu DATA for %llu blocks, %llu dropped, saved as %s\n", file.name.c_str(),
                        static_cast<unsigned long long>(file.size), static_cast<unsigned long long>(stats.dataPackets),
                        static_cast<unsigned long long>(stats.blocksStored),
                        static_cast<unsigned long long>(stats.queueDrops), path.c_str());
            std::fflush(stdout);
        }
    }
    server.Stop();
    return 0;
}
