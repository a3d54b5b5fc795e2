#include "TerminalOptions.h"

#include <charconv>
#include <cstdlib>
#include <ostream>

const char* TerminalLoaderName(TerminalLoader loader)
{
    switch (loader) {
    case TerminalLoader::Off: return "off";
    case TerminalLoader::Bootloader: return "bootloader";
    case TerminalLoader::Apploader: return "apploader";
    case TerminalLoader::Restarting: return "restarting";
    case TerminalLoader::PoweringUp: return "powering up";
    case TerminalLoader::Unplugged: return "unplugged";
    }
    return "?";
}

namespace {

// Upper bound for every millisecond option: an hour is far beyond any test or
// session, and keeps deadlines clear of overflow.
constexpr long long MaxMilliseconds = 3600LL * 1000;

template <typename Number>
bool ParseNumber(const std::string& text, Number& value, long long low, long long high)
{
    long long parsed = 0;
    auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (problem != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high)
        return false;
    value = static_cast<Number>(parsed);
    return true;
}

bool ParseFlowReply(const std::string& text, int& value)
{
    if (text == "none") {
        value = -1;
        return true;
    }
    if (text == "garbage") {
        value = 'x';
        return true;
    }
    std::string digits = text;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0)
        digits = digits.substr(2);
    int parsed = 0;
    auto [end, problem] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed, 16);
    if (digits.empty() || problem != std::errc() || end != digits.data() + digits.size() || parsed < 0 || parsed > 0xFF)
        return false;
    value = parsed;
    return true;
}

bool ParseRefusals(const std::string& list, TerminalOptions& options)
{
    bool a = false, b = false, r = false, version = false;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item == "A")
            a = true;
        else if (item == "B")
            b = true;
        else if (item == "R")
            r = true;
        else if (item == "version" || item == "Q;W;Q;")
            version = true;
        else if (!item.empty())
            return false;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    options.refuseA = a;
    options.refuseB = b;
    options.refuseR = r;
    options.refuseVersion = version;
    return true;
}

} // namespace

bool IsValidLineFormat(const std::string& format)
{
    return format.size() == 3 && format[0] == '8' && (format[1] == 'n' || format[1] == 'o' || format[1] == 'e') &&
           (format[2] == '1' || format[2] == '2');
}

bool ParseTerminalOption(const std::string& argument, TerminalOptions& options, std::string* error)
{
    if (argument.rfind("--", 0) != 0)
        return false;
    size_t equals = argument.find('=');
    std::string name = argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    std::string value = equals == std::string::npos ? std::string() : argument.substr(equals + 1);
    bool hasValue = equals != std::string::npos;
    bool ok = true;

    if (name == "com")
        ok = ParseNumber(value, options.comNumber, 1, 255);
    else if (name == "stream")
        ok = ParseNumber(value, options.streamBytes, 1, 1LL << 40);
    else if (name == "stream-mix") {
        ok = value == "text" || value == "mixed";
        options.streamMixed = value == "mixed";
    }
    else if (name == "loader") {
        if (value == "boot" || value == "bootloader")
            options.loaderAtStart = TerminalLoader::Bootloader;
        else if (value == "app" || value == "apploader")
            options.loaderAtStart = TerminalLoader::Apploader;
        else if (value == "off")
            options.loaderAtStart = TerminalLoader::Off;
        else
            ok = false;
    } else if (name == "app-rate")
        ok = ParseNumber(value, options.apploaderRate, 50, 4000000);
    else if (name == "app-format") {
        ok = IsValidLineFormat(value);
        if (ok)
            options.apploaderFormat = value;
    } else if (name == "version") {
        ok = hasValue && !value.empty();
        if (ok)
            options.firmwareVersion = value;
    } else if (name == "no-version" && !hasValue)
        options.firmwareVersion.clear();
    else if (name == "flow")
        ok = ParseFlowReply(value, options.flowControlReply);
    else if (name == "refuse")
        ok = ParseRefusals(value, options);
    else if (name == "silent" && !hasValue)
        options.silent = true;
    else if (name == "restart-ms")
        ok = ParseNumber(value, options.restartMs, 0, MaxMilliseconds);
    else if (name == "chatter-ms") {
        char* end = nullptr;
        const double interval = std::strtod(value.c_str(), &end);
        ok = hasValue && !value.empty() && end != nullptr && *end == '\0' && interval >= 0.05 && interval <= MaxMilliseconds;
        if (ok)
            options.chatterIntervalMs = interval;
    } else if (name == "chatter-always" && !hasValue)
        options.chatterAlways = true;
    else if (name == "boot-chatter" && !hasValue)
        options.bootChatter = true;
    else if (name == "reply-delay-ms")
        ok = ParseNumber(value, options.replyDelayMs, 0, MaxMilliseconds);
    else if (name == "no-line-check" && !hasValue)
        options.checkLineFlow = false;
    else if (name == "unplug-after-ms")
        ok = ParseNumber(value, options.unplugAfterMs, 1, MaxMilliseconds);
    else if (name == "induction") {
        if (value == "normal")
            options.inductionReply = InductionReply::NoticeThenEntering;
        else if (value == "notice-only")
            options.inductionReply = InductionReply::NoticeOnly;
        else if (value == "none")
            options.inductionReply = InductionReply::Nothing;
        else
            ok = false;
    } else if (name == "power-up-ms")
        ok = ParseNumber(value, options.powerUpWindowMs, 1, MaxMilliseconds);
    else if (name == "entering-delay-ms")
        ok = ParseNumber(value, options.enteringDelayMs, 0, MaxMilliseconds);
    else if (name == "power-cycle-on-induce")
        ok = ParseNumber(value, options.powerCycleOnInduceMs, 1, MaxMilliseconds);
    else if (name == "pace" && !hasValue)
        options.paceLine = true;
    else if (name == "xoff-after")
        ok = ParseNumber(value, options.xoffAfterBytes, 1, 1LL << 40);
    else if (name == "xoff-ms")
        ok = ParseNumber(value, options.xoffHoldMs, 1, MaxMilliseconds);
    else if (name == "stall-after")
        ok = ParseNumber(value, options.stallAfterBytes, 1, 1LL << 40);
    else if (name == "stall-ms")
        ok = ParseNumber(value, options.stallMs, 1, MaxMilliseconds);
    else if (name == "unplug-after")
        ok = ParseNumber(value, options.unplugAfterBytes, 1, 1LL << 40);
    else if (name == "expect-size")
        ok = ParseNumber(value, options.expectedImageSize, 1, 1LL << 40);
    else if (name == "idle-ms")
        ok = ParseNumber(value, options.imageIdleMs, 1, MaxMilliseconds);
    else if (name == "max-image")
        ok = ParseNumber(value, options.maxImageSize, 0, 1LL << 40);
    else
        return false;

    if (!ok && error)
        *error = "bad value in " + argument + " (see --help)";
    return true;
}

void PrintTerminalHelp(std::ostream& out)
{
    out << "Serial side (a pseudo-terminal published as a COM port alias):\n"
           "  --com=N                 publish as COM<N> (default: first free from COM40)\n"
           "  --loader=boot|app|off   what runs at start: bootloader, apploader, or neither\n"
           "                          (off: the unit answers nothing until it is power-cycled)\n"
           "                          default app\n"
           "  --app-rate=BAUD         apploader line rate (default 115200); the bootloader is always 115200 8N1\n"
           "  --app-format=8n1        apploader data format: 8n1 8n2 8o1 8o2 8e1 8e2 (default 8n1).\n"
           "                          A pseudo-terminal keeps rate and stop bits but not parity, so\n"
           "                          parity cannot be checked\n"
           "  --version=TEXT          firmware version the apploader reports to Q;W;Q; (default 1.50)\n"
           "  --no-version            the apploader has no version command: answers \"illegal\"\n"
           "  --flow=81               reply to F;: 80 (none), 81 (XON/XOFF, escaped data), 82 (RTS/CTS),\n"
           "                          none (no reply), garbage, or any hex byte (default 81)\n"
           "  --refuse=A,B,R,version  answer these commands with \"illegal\"\n"
           "  --silent                never send anything\n"
           "  --restart-ms=MS         how long R;, A; and B; take to bring up the next loader (default 50)\n"
           "Rude, like real terminals:\n"
           "  --chatter-ms=MS         send a status line every MS (fractions allowed) until the first command\n"
           "  --chatter-always        ...and go on after it, during the dialogue and the transfer\n"
           "  --boot-chatter          print boot messages while restarting and powering up\n"
           "  --reply-delay-ms=MS     answer commands MS late (over 100 a reply misses its window)\n"
           "  --no-line-check         take an image whatever flow control the far end's line has\n"
           "  --unplug-after-ms=MS    pull the cable MS after start (send SIGUSR2 to pull or replug by hand)\n"
           "Power cycle and bootloader induction (IIIII while powering up -> NOTICE, Entering):\n"
           "  --induction=normal|notice-only|none   how the unit answers IIIII (default normal)\n"
           "  --power-up-ms=MS        how long after power-on IIIII is listened for (default 1500)\n"
           "  --entering-delay-ms=MS  pause between NOTICE and Entering (default 100)\n"
           "  --power-cycle-on-induce=MS  cycle power by itself MS after IIIII reaches a unit that\n"
           "                          does not listen, as an operator would (send SIGUSR1 to cycle by hand)\n"
           "Line behaviour during a transfer (BYTES counts bytes of the image being received):\n"
           "  --pace                  read no faster than rate/10 bytes a second, like a real line\n"
           "  --xoff-after=BYTES      send XOFF after BYTES, and XON --xoff-ms=MS later (default 1000)\n"
           "  --stall-after=BYTES     stop reading after BYTES for --stall-ms=MS (default 1000)\n"
           "  --unplug-after=BYTES    close the line after BYTES, as a pulled cable\n"
           "  --expect-size=BYTES     an application image ends after BYTES (default: after a quiet line)\n"
           "  --idle-ms=MS            quiet time that ends an image (default 500)\n"
           "  --max-image=BYTES       refuse frames declaring more (default 67108864)\n";
    out << "Console traffic:\n"
           "  --stream=BYTES          once the port is opened, send BYTES as fast as the line takes them\n"
           "  --stream-mix=text|mixed numbered text lines (default), or every byte value\n";
}
