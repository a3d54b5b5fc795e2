#include "DownloadRecord.h"

#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>

#include "MachineIdentity.h"

namespace {

using Json = nlohmann::json;

// Reads `count` digits at text[at], moving `at` past them.
bool Digits(const std::string& text, size_t& at, size_t count, int& value)
{
    if (at + count > text.size())
        return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    at += count;
    return true;
}

bool Expect(const std::string& text, size_t& at, char wanted)
{
    if (at >= text.size() || text[at] != wanted)
        return false;
    ++at;
    return true;
}

// The platform clock counts nanoseconds in 64 bits: about 1678 to 2262. Years
// are kept well inside, so that no arithmetic on a read time can overflow.
constexpr int EarliestYear = 1900;
constexpr int LatestYear = 2200;

// A whole number within T's range; a fraction or a number beyond it is no such
// field (converting those would be undefined).
template <typename T>
T Whole(const Json& object, const char* name, T fallback)
{
    const auto found = object.find(name);
    if (found == object.end())
        return fallback;
    if (found->is_number_unsigned()) {
        const auto value = found->get<uint64_t>();
        return value <= static_cast<uint64_t>(std::numeric_limits<T>::max()) ? static_cast<T>(value) : fallback;
    }
    if (found->is_number_integer()) {
        const auto value = found->get<int64_t>();
        return value >= static_cast<int64_t>(std::numeric_limits<T>::min()) &&
                       (value < 0 || static_cast<uint64_t>(value) <= static_cast<uint64_t>(std::numeric_limits<T>::max()))
                   ? static_cast<T>(value)
                   : fallback;
    }
    return fallback;
}

std::string Text(const Json& object, const char* name)
{
    const auto found = object.find(name);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

} // namespace

void DownloadRecord::Begin(const std::string& programName, const std::string& programVersion)
{
    start = std::chrono::system_clock::now();
    program = programName;
    version = programVersion;
    host = MachineIdentity::HostName();
    user = MachineIdentity::UserName();
}

double DownloadRecord::DurationSeconds() const
{
    // From the times as written, so that the duration read back is the same.
    using std::chrono::floor;
    using std::chrono::milliseconds;
    return static_cast<double>((floor<milliseconds>(end) - floor<milliseconds>(start)).count()) / 1000.0;
}

const char* DownloadRecord::OutcomeName(RecordOutcome outcome)
{
    switch (outcome) {
    case RecordOutcome::Finished: return "finished";
    case RecordOutcome::Failed: return "failed";
    case RecordOutcome::Cancelled: return "cancelled";
    case RecordOutcome::TimedOut: return "timeout";
    }
    return "failed";
}

bool DownloadRecord::ParseOutcome(const std::string& name, RecordOutcome& outcome)
{
    for (RecordOutcome each :
         {RecordOutcome::Finished, RecordOutcome::Failed, RecordOutcome::Cancelled, RecordOutcome::TimedOut}) {
        if (name == OutcomeName(each)) {
            outcome = each;
            return true;
        }
    }
    return false;
}

std::string DownloadRecord::FormatTime(TimePoint time)
{
    using namespace std::chrono;
    const auto millis = floor<milliseconds>(time);
    const auto day = floor<days>(millis);
    const year_month_day date{day};
    const hh_mm_ss clock{millis - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

bool DownloadRecord::ParseTime(const std::string& text, TimePoint& time)
{
    // YYYY-MM-DD, then optionally [T or space]HH:MM[:SS[.fff]], then optionally Z:
    // always UTC, as the records are.
    using namespace std::chrono;
    size_t at = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (!Digits(text, at, 4, y) || !Expect(text, at, '-') || !Digits(text, at, 2, mo) || !Expect(text, at, '-') ||
        !Digits(text, at, 2, d))
        return false;
    if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
        ++at;
        if (!Digits(text, at, 2, h) || !Expect(text, at, ':') || !Digits(text, at, 2, mi))
            return false;
        if (at < text.size() && text[at] == ':') {
            ++at;
            if (!Digits(text, at, 2, s))
                return false;
            if (at < text.size() && text[at] == '.') {
                ++at;
                // Milliseconds from the first three digits; further ones are dropped.
                int scale = 100;
                const size_t first = at;
                while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
                    ms += (text[at] - '0') * scale;
                    scale /= 10;
                    ++at;
                }
                if (at == first)
                    return false;
            }
        }
    }
    if (at < text.size() && text[at] == 'Z')
        ++at;
    if (at != text.size() || h > 23 || mi > 59 || s > 59 || y < EarliestYear || y > LatestYear)
        return false;
    const year_month_day date{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (!date.ok())
        return false;
    time = time_point_cast<system_clock::duration>(sys_days{date} + hours{h} + minutes{mi} + seconds{s} +
                                                   milliseconds{ms});
    return true;
}

std::string DownloadRecord::ToJson() const
{
    // In the order a person reads a record, not the alphabet's.
    nlohmann::ordered_json object = {
        {"start", FormatTime(start)},
        {"end", FormatTime(end)},
        {"duration_s", DurationSeconds()},
        {"program", program},
        {"version", version},
        {"host", host},
        {"user", user},
        {"transport", transport},
        {"target", target},
    };
    if (transport == "ethernet") {
        object["address"] = address;
        object["udp_port"] = udpPort;
    } else {
        object["port"] = port;
        object["device"] = device;
        object["baud"] = baudRate;
        object["format"] = format;
        object["flow_control"] = flowControl;
    }
    object["file_path"] = filePath;
    object["file_name"] = fileName;
    object["file_size"] = fileSize;
    object["file_kind"] = fileKind;
    object["sha256"] = sha256;
    object["bytes_read"] = bytesRead;
    object["bytes_sent"] = bytesSent;
    object["outcome"] = OutcomeName(outcome);
    object["text"] = finalText;
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

bool DownloadRecord::FromJson(const std::string& line, DownloadRecord& record)
{
    const Json object = Json::parse(line, nullptr, false);
    if (!object.is_object())
        return false;
    DownloadRecord read;
    if (!ParseTime(Text(object, "start"), read.start) ||
        !ParseTime(Text(object, "end"), read.end) ||
        !ParseOutcome(Text(object, "outcome"), read.outcome))
        return false;
    read.program = Text(object, "program");
    read.version = Text(object, "version");
    read.host = Text(object, "host");
    read.user = Text(object, "user");
    read.transport = Text(object, "transport");
    read.target = Text(object, "target");
    read.port = Text(object, "port");
    read.device = Text(object, "device");
    read.address = Text(object, "address");
    read.udpPort = Whole<int>(object, "udp_port", 0);
    read.baudRate = Whole<uint32_t>(object, "baud", 0);
    read.format = Text(object, "format");
    read.flowControl = Text(object, "flow_control");
    read.filePath = Text(object, "file_path");
    read.fileName = Text(object, "file_name");
    read.fileSize = Whole<int64_t>(object, "file_size", 0);
    read.fileKind = Text(object, "file_kind");
    read.sha256 = Text(object, "sha256");
    read.bytesRead = Whole<int64_t>(object, "bytes_read", 0);
    read.bytesSent = Whole<int64_t>(object, "bytes_sent", 0);
    read.finalText = Text(object, "text");
    record = std::move(read);
    return true;
}

std::vector<std::string> DownloadRecord::CsvHeader()
{
    return {"start", "end", "duration_s", "program", "version", "host", "user", "transport", "target",
            "port", "device", "address", "udp_port", "baud", "format", "flow_control", "file_path",
            "file_name", "file_size", "file_kind", "sha256", "bytes_read", "bytes_sent", "outcome", "text"};
}

std::vector<std::string> DownloadRecord::CsvFields() const
{
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f", DurationSeconds());
    const bool ethernet = transport == "ethernet";
    return {FormatTime(start),
            FormatTime(end),
            duration,
            program,
            version,
            host,
            user,
            transport,
            target,
            port,
            device,
            address,
            ethernet ? std::to_string(udpPort) : std::string(),
            baudRate > 0 ? std::to_string(baudRate) : std::string(),
            format,
            flowControl,
            filePath,
            fileName,
            std::to_string(fileSize),
            fileKind,
            sha256,
            std::to_string(bytesRead),
            std::to_string(bytesSent),
            OutcomeName(outcome),
            finalText};
}

std::string DownloadRecord::CsvLine(const std::vector<std::string>& fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        const std::string& field = fields[i];
        if (field.find_first_of(",\"\r\n") == std::string::npos) {
            line += field;
            continue;
        }
        line += '"';
        for (char c : field) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += '"';
    }
    return line;
}
