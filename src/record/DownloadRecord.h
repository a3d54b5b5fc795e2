#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// How a download ended, as its record tells it.
enum class RecordOutcome {
    Finished,  // "Download is finished."
    Failed,    // any other final text of the job's own
    Cancelled, // the operator cancelled it
    TimedOut,  // a time limit stopped it (vennix-cli --timeout)
};

// One download as the log keeps it: which file went to which terminal, when,
// from where and how it ended. One JSON object on one line.
class DownloadRecord {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    TimePoint start{};
    TimePoint end{};
    std::string program; // "vennix" or "vennix-cli"
    std::string version;
    std::string host;
    std::string user;

    std::string transport; // "serial" or "ethernet"
    std::string target;    // as the operator named it: "COM40", "/dev/ttyUSB0", "192.168.1.50:69"
    std::string port;      // serial: "COM40"
    std::string device;    // serial: the device or URL behind the COM name
    std::string address;   // ethernet: the unit's IPv4 address
    int udpPort = 0;       // ethernet: the unit's TFTP port
    // The line the file went over; left empty when the download ended before
    // its flow control was set, and for Ethernet.
    uint32_t baudRate = 0;
    std::string format;
    std::string flowControl;

    std::string filePath;
    std::string fileName;
    int64_t fileSize = 0;
    std::string fileKind; // "firmware" or "application"

    // Over the bytes actually read for sending; sha256 of nothing when none were.
    std::string sha256;
    int64_t bytesRead = 0;
    int64_t bytesSent = 0;

    RecordOutcome outcome = RecordOutcome::Failed;
    std::string finalText; // word for word, as the progress window or summary showed it

    // Fills in start, program, version, host and user.
    void Begin(const std::string& programName, const std::string& programVersion);
    double DurationSeconds() const;

    // One line of JSON without the line end. Text that is not UTF-8 (a path in a
    // legacy code page) is kept readable with replacement characters.
    std::string ToJson() const;
    // False when the text is no record (a damaged or foreign line).
    static bool FromJson(const std::string& line, DownloadRecord& record);

    static std::vector<std::string> CsvHeader();
    std::vector<std::string> CsvFields() const;
    // One CSV line (RFC 4180 quoting) without the line end.
    static std::string CsvLine(const std::vector<std::string>& fields);

    static const char* OutcomeName(RecordOutcome outcome);
    static bool ParseOutcome(const std::string& name, RecordOutcome& outcome);
    // "2026-12-09T18:00:25.123Z" and back; false for anything else.
    static std::string FormatTime(TimePoint time);
    static bool ParseTime(const std::string& text, TimePoint& time);
};
