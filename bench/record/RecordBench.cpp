// What recording a download costs the thread that records it: a record
// appended directly (lock, write, flush to disk), a record handed to the
// writer's thread as the window does, the same while another program holds the
// log's lock, and reading a full log back as the history window does.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "DownloadLog.h"
#include "DownloadRecord.h"
#include "HistoryTable.h"
#include "LogLock.h"
#include "RecordWriter.h"

namespace {

using Clock = std::chrono::steady_clock;

DownloadRecord Typical(int number)
{
    DownloadRecord record;
    record.Begin("vennix", "1.2");
    record.end = record.start + std::chrono::seconds(9);
    record.transport = "serial";
    record.target = record.port = "COM40";
    record.device = "/dev/ttyUSB0";
    record.baudRate = 115200;
    record.format = "8n1";
    record.flowControl = "Xon/Xoff";
    record.filePath = "/home/tech/images/terminal-firmware-2.31.bin";
    record.fileName = "terminal-firmware-2.31.bin";
    record.fileSize = 98304 + number;
    record.fileKind = "firmware";
    record.sha256 = std::string(64, 'a');
    record.bytesRead = record.bytesSent = record.fileSize;
    record.outcome = RecordOutcome::Finished;
    record.finalText = "Download is finished.";
    return record;
}

void Print(const char* what, std::vector<double> micros)
{
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double share) { return micros[static_cast<size_t>(share * (micros.size() - 1))]; };
    std::printf("%-52s n=%-5zu median %8.1f us  p99 %8.1f us  max %8.1f us\n", what, micros.size(), at(0.5),
                at(0.99), micros.back());
}

double MicrosSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

} // namespace

int main()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vennix-record-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return 1;
    const std::filesystem::path folder = pattern;
    std::printf("log folder: %s (%s)\n", folder.c_str(), "the disk's flush decides the direct figures");

    {
        const DownloadLog log((folder / "direct.jsonl").string());
        std::vector<double> micros;
        for (int n = 0; n < 200; ++n) {
            const auto start = Clock::now();
            std::string error;
            log.Append(Typical(n), &error);
            micros.push_back(MicrosSince(start));
        }
        Print("Append on the caller's thread (lock, write, fsync)", micros);
    }
    {
        const DownloadLog log((folder / "posted.jsonl").string());
        RecordWriter writer(log, nullptr);
        std::vector<double> micros;
        for (int n = 0; n < 200; ++n) {
            const DownloadRecord record = Typical(n);
            const auto start = Clock::now();
            writer.Post(record);
            micros.push_back(MicrosSince(start));
            writer.WaitUntilIdle(); // one download at a time, as a window runs them
        }
        Print("Post to the writer's thread", micros);
    }
    {
        const DownloadLog log((folder / "held.jsonl").string());
        LogLock other;
        std::string error;
        other.Acquire(log.LockPath(), LogLock::Mode::Exclusive, std::chrono::milliseconds(0), error);
        RecordWriter writer(log, nullptr);
        std::vector<double> micros;
        for (int n = 0; n < 20; ++n) {
            const DownloadRecord record = Typical(n);
            const auto start = Clock::now();
            writer.Post(record);
            micros.push_back(MicrosSince(start));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        other.Release();
        const auto start = Clock::now();
        writer.WaitUntilIdle();
        Print("Post while another program holds the lock", micros);
        std::printf("%-52s %8.1f ms after the lock was let go\n", "  ... all 20 written", MicrosSince(start) / 1000);
    }
    {
        // A log at its limit plus the four old files: what the history opens.
        const DownloadLog log((folder / "full.jsonl").string());
        const int64_t size = static_cast<int64_t>(Typical(0).ToJson().size()) + 1;
        const int perFile = static_cast<int>(DownloadLog::DefaultMaxBytes / size);
        std::string text;
        for (int n = 0; n < perFile; ++n)
            text += Typical(n).ToJson() + "\n";
        for (const std::string& file : log.Files()) {
            std::FILE* out = std::fopen(file.c_str(), "wb");
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
        }
        std::vector<double> history;
        std::vector<double> everything;
        for (int run = 0; run < 5; ++run) {
            HistoryTable table(log);
            auto start = Clock::now();
            std::string error;
            table.Load(&error);
            history.push_back(MicrosSince(start));
            std::vector<DownloadRecord> all;
            start = Clock::now();
            log.ReadAll(all, nullptr, &error);
            everything.push_back(MicrosSince(start));
        }
        std::printf("full log: %d records a file, %d files\n", perFile, static_cast<int>(log.Files().size()));
        Print("History window's load (newest 500)", history);
        Print("Reading every file (vennix-cli history)", everything);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
