#include <signal.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "DownloadTexts.h"
#include "CliFixture.h"
#include "DownloadLog.h"
#include "DownloadRecord.h"
#include "Sha256Digest.h"

namespace {

std::string DigestOf(const std::vector<uint8_t>& bytes, size_t count)
{
    return Sha256Digest::HexOf(bytes.data(), std::min(count, bytes.size()));
}

} // namespace

class CliRecordTest : public CliFixture {
protected:
    std::string DefaultLog() const { return (folders.Root() / "data" / "Vennix" / "downloads.jsonl").string(); }

    // Every line of a log, each of which must be one whole record.
    static std::vector<nlohmann::json> Records(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::vector<nlohmann::json> records;
        const std::string all = text.str();
        EXPECT_TRUE(all.empty() || all.back() == '\n') << "the log ends inside a line";
        for (const std::string& line : Lines(all)) {
            DownloadRecord record;
            EXPECT_TRUE(DownloadRecord::FromJson(line, record)) << line;
            records.push_back(nlohmann::json::parse(line, nullptr, false));
        }
        return records;
    }

    static std::map<std::string, nlohmann::json> ByTarget(const std::vector<nlohmann::json>& records)
    {
        std::map<std::string, nlohmann::json> byTarget;
        for (const nlohmann::json& record : records) {
            const std::string target = record.value("target", "");
            EXPECT_EQ(byTarget.count(target), 0u) << "two records for " << target;
            byTarget[target] = record;
        }
        return byTarget;
    }
};

TEST_F(CliRecordTest, EachTargetOfARunLeavesOneRecordOfHowItEnded)
{
    const std::vector<uint8_t> image = RandomBytes(5000, 11);
    TerminalOptions boot;
    boot.loaderAtStart = TerminalLoader::Bootloader;
    TerminalSimulator& willing = StartTerminal(boot);
    TerminalOptions quiet;
    quiet.silent = true;
    TerminalSimulator& silent = StartTerminal(quiet);
    TftpServer& unit = StartTftp();
    TftpServerOptions breaking;
    breaking.dataErrorCode = 3; // disk full, at the second block
    breaking.dataErrorBlock = 2;
    TftpServer& full = StartTftp(breaking);

    const std::string file = WriteFile("fw.bin", image);
    CliProcess cli({"download", file, "--port", willing.ComName(), "--ip", IpTarget(unit), "--ip", IpTarget(full),
                    "--port", silent.ComName(), "--timeout", "2"});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 1) << cli.Err();
    EXPECT_EQ(cli.Err().find("not recorded"), std::string::npos) << cli.Err();

    // The user's own log, one record a target.
    const auto records = ByTarget(Records(DefaultLog()));
    ASSERT_EQ(records.size(), 4u);

    const nlohmann::json& serial = records.at(willing.ComName());
    EXPECT_EQ(serial["outcome"], "finished");
    EXPECT_EQ(serial["text"], DownloadFinishedText);
    EXPECT_EQ(serial["transport"], "serial");
    EXPECT_EQ(serial["port"], willing.ComName());
    EXPECT_EQ(serial["device"], std::filesystem::canonical(willing.SlavePath()).string());
    EXPECT_EQ(serial["baud"], 115200);
    EXPECT_EQ(serial["format"], "8n1");
    EXPECT_EQ(serial["flow_control"], "no");
    EXPECT_EQ(serial["sha256"], DigestOf(image, image.size()));
    EXPECT_EQ(serial["bytes_read"], image.size());
    EXPECT_EQ(serial["bytes_sent"], image.size());
    EXPECT_EQ(serial["file_path"], std::filesystem::absolute(file).lexically_normal().string());
    EXPECT_EQ(serial["file_name"], "fw.bin");
    EXPECT_EQ(serial["file_size"], image.size());
    EXPECT_EQ(serial["file_kind"], "firmware");
    EXPECT_EQ(serial["program"], "vennix-cli");
    EXPECT_FALSE(serial.value("host", "").empty());
    EXPECT_FALSE(serial.value("user", "").empty());
    DownloadRecord read;
    ASSERT_TRUE(DownloadRecord::FromJson(serial.dump(), read));
    EXPECT_GE(read.DurationSeconds(), 0.0);
    EXPECT_NEAR(serial["duration_s"].get<double>(), read.DurationSeconds(), 1e-9);

    const nlohmann::json& ethernet = records.at(IpTarget(unit));
    EXPECT_EQ(ethernet["outcome"], "finished");
    EXPECT_EQ(ethernet["transport"], "ethernet");
    EXPECT_EQ(ethernet["address"], "127.0.0.1");
    EXPECT_EQ(ethernet["udp_port"], unit.BoundPort());
    EXPECT_EQ(ethernet["sha256"], DigestOf(image, image.size()));
    EXPECT_EQ(ethernet["bytes_sent"], image.size());

    // The unit refused the second block: two blocks were read, one arrived.
    const nlohmann::json& failed = records.at(IpTarget(full));
    EXPECT_EQ(failed["outcome"], "failed");
    EXPECT_EQ(failed["bytes_read"], 2048);
    EXPECT_EQ(failed["bytes_sent"], 1024);
    EXPECT_EQ(failed["sha256"], DigestOf(image, 2048));
    EXPECT_EQ(SummaryRow(cli.Out(), IpTarget(full)).find(failed["text"].get<std::string>()) != std::string::npos,
              true)
        << cli.Out() << failed;

    const nlohmann::json& timedOut = records.at(silent.ComName());
    EXPECT_EQ(timedOut["outcome"], "timeout");
    EXPECT_EQ(timedOut["text"], "Not finished within 2 seconds (--timeout): the download was stopped.");
    EXPECT_EQ(timedOut["bytes_read"], 0);
    // Never got as far as the flow control: the line chosen, no flow control.
    EXPECT_EQ(timedOut["baud"], 115200);
    EXPECT_EQ(timedOut["flow_control"], "");
}

TEST_F(CliRecordTest, ACancelledTransferRecordsTheDigestOfWhatWasReadSoFar)
{
    const std::vector<uint8_t> image = RandomBytes(64 * 1024, 12);
    TerminalOptions paced;
    paced.loaderAtStart = TerminalLoader::Bootloader;
    paced.paceLine = true;
    TerminalSimulator& terminal = StartTerminal(paced);
    const std::string log = (folders.Root() / "line.jsonl").string();

    CliProcess cli({"download", WriteFile("fw.bin", image), "--port", terminal.ComName(), "--baud", "115200",
                    "--record", log});
    const auto end = std::chrono::steady_clock::now() + EventDeadline;
    while (ReceivedCount(terminal) < 4 * 1024 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    cli.Signal(SIGINT);
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 3) << cli.Err();

    const auto records = Records(log);
    ASSERT_EQ(records.size(), 1u);
    const nlohmann::json& record = records[0];
    EXPECT_EQ(record["outcome"], "cancelled");
    EXPECT_EQ(record["text"], "User cancelled the program.");
    const size_t read = record["bytes_read"].get<size_t>();
    const size_t sent = record["bytes_sent"].get<size_t>();
    EXPECT_GT(read, 0u);
    EXPECT_LT(read, image.size());
    EXPECT_LE(sent, read);
    EXPECT_EQ(read % 512, 0u);
    EXPECT_EQ(record["sha256"], DigestOf(image, read));
    EXPECT_FALSE(std::filesystem::exists(DefaultLog())) << "--record names the only log written";
}

TEST_F(CliRecordTest, TwoProcessesWithSeveralTargetsEachLeaveOneWholeLineATarget)
{
    constexpr int TargetsEach = 4;
    const std::string log = (folders.Root() / "shared" / "line.jsonl").string();
    std::vector<std::unique_ptr<CliProcess>> runs;
    std::vector<std::string> names;
    for (int run = 0; run < 2; ++run) {
        std::vector<std::string> arguments = {"download", WriteFile("app" + std::to_string(run) + ".bff",
                                                                    RandomBytes(3000, 20 + run)),
                                              "--record", log, "--quiet"};
        for (int i = 0; i < TargetsEach; ++i) {
            arguments.push_back("--ip");
            arguments.push_back(IpTarget(StartTftp()));
            names.push_back(arguments.back());
        }
        runs.push_back(std::make_unique<CliProcess>(arguments));
    }
    for (auto& run : runs) {
        Finish(*run);
        EXPECT_EQ(run->ExitCode(), 0) << run->Err();
    }
    const auto records = ByTarget(Records(log));
    ASSERT_EQ(records.size(), names.size());
    for (const std::string& name : names) {
        ASSERT_EQ(records.count(name), 1u) << name;
        EXPECT_EQ(records.at(name)["outcome"], "finished");
    }
}

TEST_F(CliRecordTest, ALogThatCannotBeWrittenCostsOneLineAndNeverTheDownload)
{
    const std::vector<uint8_t> image = RandomBytes(2000, 13);
    TftpServer& first = StartTftp();
    TftpServer& second = StartTftp();
    std::ofstream(folders.Root() / "blocker") << "a file, not a folder";
    const std::string log = (folders.Root() / "blocker" / "line.jsonl").string();

    CliProcess cli({"download", WriteFile("app.bff", image), "--ip", IpTarget(first), "--ip", IpTarget(second),
                    "--record", log});
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 0) << cli.Err();
    for (TftpServer* unit : {&first, &second}) {
        ASSERT_EQ(unit->ReceivedFiles().size(), 1u);
        EXPECT_EQ(unit->ReceivedFiles()[0].bytes, image);
    }
    size_t told = 0;
    for (const std::string& line : Lines(cli.Err()))
        if (line.find("not recorded") != std::string::npos) {
            ++told;
            EXPECT_NE(line.find("blocker"), std::string::npos) << line;
        }
    EXPECT_EQ(told, 1u) << cli.Err();

    // --no-record: not even the user's own log.
    CliProcess unrecorded({"download", WriteFile("app.bff", image), "--ip", IpTarget(first), "--no-record"});
    Finish(unrecorded);
    EXPECT_EQ(unrecorded.ExitCode(), 0) << unrecorded.Err();
    EXPECT_FALSE(std::filesystem::exists(DefaultLog()));
}

TEST_F(CliRecordTest, HistoryChoosesByTimeTargetAndOutcomeInThreeFormats)
{
    DownloadLog log(DefaultLog());
    auto add = [&](const std::string& start, const std::string& target, RecordOutcome outcome) {
        DownloadRecord record;
        ASSERT_TRUE(DownloadRecord::ParseTime(start, record.start));
        record.end = record.start + std::chrono::seconds(9);
        record.transport = target.rfind("COM", 0) == 0 ? "serial" : "ethernet";
        record.target = target;
        record.fileName = "fw.bin";
        record.fileSize = 100;
        record.bytesSent = outcome == RecordOutcome::Finished ? 100 : 40;
        record.sha256 = "d1g3st-" + target;
        record.outcome = outcome;
        record.finalText = outcome == RecordOutcome::Finished ? DownloadFinishedText : "Went wrong,\n\"badly\".";
        std::string error;
        ASSERT_TRUE(log.Append(record, &error)) << error;
    };
    add("2026-12-01T08:00:00Z", "COM33", RecordOutcome::Finished);
    add("2026-12-05T08:00:00Z", "192.168.1.50", RecordOutcome::Failed);
    add("2026-12-07T08:00:00Z", "COM34", RecordOutcome::Cancelled);
    add("2026-12-08T08:00:00Z", "192.168.1.51", RecordOutcome::Finished);

    CliProcess table({"history"});
    Finish(table);
    EXPECT_EQ(table.ExitCode(), 0) << table.Err();
    const std::vector<std::string> rows = Lines(table.Out());
    ASSERT_EQ(rows.size(), 5u) << table.Out();
    EXPECT_EQ(rows[0].rfind("START (UTC)", 0), 0u);
    EXPECT_EQ(rows[1].rfind("2026-12-08 08:00:00  192.168.1.51", 0), 0u) << rows[1];
    EXPECT_NE(rows[3].find("Went wrong, \"badly\"."), std::string::npos) << "one line a record: " << rows[3];
    EXPECT_NE(rows[3].find("40/100"), std::string::npos) << rows[3];

    CliProcess json({"history", "--json", "--since", "2026-12-04", "--until", "2026-12-08", "--outcome", "failed",
                     "--outcome", "cancelled"});
    Finish(json);
    EXPECT_EQ(json.ExitCode(), 0) << json.Err();
    const std::vector<std::string> lines = Lines(json.Out());
    ASSERT_EQ(lines.size(), 2u) << json.Out();
    EXPECT_EQ(nlohmann::json::parse(lines[0])["target"], "COM34");
    EXPECT_EQ(nlohmann::json::parse(lines[1])["target"], "192.168.1.50");

    CliProcess csv({"history", "--csv", "--target", "com"});
    Finish(csv);
    EXPECT_EQ(csv.ExitCode(), 0) << csv.Err();
    const std::vector<std::string> csvLines = Lines(csv.Out());
    ASSERT_EQ(csvLines.size(), 4u) << csv.Out(); // heading, then a text with a line break in quotes
    EXPECT_EQ(csvLines[0].rfind("start,end,duration_s,", 0), 0u);
    EXPECT_NE(csvLines[1].find(",COM34,"), std::string::npos) << csvLines[1];
    EXPECT_NE(csvLines[1].find("\"Went wrong,"), std::string::npos) << csvLines[1];
    EXPECT_NE(csvLines[3].find(",COM33,"), std::string::npos) << csvLines[3];

    CliProcess limited({"history", "--json", "--limit", "1", "--outcome", "finished"});
    Finish(limited);
    ASSERT_EQ(Lines(limited.Out()).size(), 1u) << limited.Out();
    EXPECT_EQ(nlohmann::json::parse(Lines(limited.Out())[0])["target"], "192.168.1.51");

    CliProcess none({"history", "--target", "10.0.0.1"});
    Finish(none);
    EXPECT_EQ(none.ExitCode(), 0);
    EXPECT_TRUE(none.Out().empty()) << none.Out();
    EXPECT_NE(none.Err().find("none of the 4 recorded downloads matches"), std::string::npos) << none.Err();

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"history", "--since", "last tuesday"},
          std::vector<std::string>{"history", "--outcome", "exploded"},
          std::vector<std::string>{"history", "--json", "--csv"},
          std::vector<std::string>{"download", "x.bin", "--ip", "127.0.0.1", "--record", "a", "--no-record"}}) {
        CliProcess refused(wrong);
        Finish(refused);
        EXPECT_EQ(refused.ExitCode(), 2) << wrong[1] << " " << wrong[2] << "\n" << refused.Err();
    }
}

TEST_F(CliRecordTest, ASecondInterruptThatLeavesAtOnceStillLeavesOneRecordATarget)
{
    TerminalOptions paced;
    paced.loaderAtStart = TerminalLoader::Bootloader;
    paced.paceLine = true;
    TerminalSimulator& first = StartTerminal(paced);
    TerminalSimulator& second = StartTerminal(paced);

    CliProcess cli({"download", WriteFile("fw.bin", RandomBytes(64 * 1024, 14)), "--port", first.ComName(), "--port",
                    second.ComName()});
    const auto end = std::chrono::steady_clock::now() + EventDeadline;
    while ((ReceivedCount(first) < 2048 || ReceivedCount(second) < 2048) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    cli.Signal(SIGINT);
    cli.Signal(SIGINT);
    Finish(cli);
    EXPECT_EQ(cli.ExitCode(), 3) << cli.Err();

    // Whoever came first, the worker's Finish or the leaving: one record each.
    const auto records = ByTarget(Records(DefaultLog()));
    ASSERT_EQ(records.size(), 2u);
    for (const auto& [target, record] : records) {
        EXPECT_EQ(record["outcome"], "cancelled") << target;
        const std::string text = record["text"];
        EXPECT_TRUE(text == "User cancelled the program." || text == "Stopped without waiting for the targets to end.")
            << text;
    }
}
