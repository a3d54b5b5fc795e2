#include "DownloadFile.h"

#include <cctype>
#include <cstdio>
#include <sys/stat.h>

int32_t FlashRequiredKB(int64_t size)
{
    // Truncating division makes (0 - 1) / 65536 zero, so an empty file counts as
    // one sector, as the terminal's flash layout does.
    int64_t sectors = (size - 1) / 65536 + 1;
    return static_cast<int32_t>(sectors * 65536 / 1024);
}

namespace {

std::string UpperLastFour(const std::string& path)
{
    std::string tail = path.size() > 4 ? path.substr(path.size() - 4) : path;
    for (char& c : tail)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return tail;
}

std::string Format(const char* pattern, int64_t size)
{
    char text[160];
    std::snprintf(text, sizeof text, pattern, static_cast<long long>(size),
                  static_cast<int>(FlashRequiredKB(size)));
    return text;
}

} // namespace

DownloadFileInfo ClassifyDownloadFile(const std::string& path)
{
    DownloadFileInfo info;
    struct stat status {};
    // A folder that happens to be called "images.bin" is not a file to send.
    if (path.empty() || ::stat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode))
        return info;

    std::string tail = UpperLastFour(path);
    if (tail == ".BFF") {
        info.kind = Application;
        info.buttonText = "&Download Application or\n Upgrade Firmware";
    } else if (tail == ".BIN") {
        info.kind = Firmware;
        info.buttonText = "&Download Firmware";
    } else {
        info.outcome = DownloadFileInfo::Unrecognised;
        return info;
    }

    info.size = static_cast<int64_t>(status.st_size);
    if (info.size > MaxDownloadFileSize) {
        info.outcome = DownloadFileInfo::TooLarge;
        info.buttonText.clear();
        return info;
    }
    info.outcome = DownloadFileInfo::Recognised;
    info.sizeText = Format(info.kind == Application
                               ? "App download size: %lld\r\nFlash required: %d kBytes"
                               : "Firmware download size: %lld\r\nFlash required: %d kBytes",
                           info.size);
    return info;
}

std::string TooLargeMessage(const std::string& path, int64_t size)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "The file is too large to download (%lld bytes).\n"
                  "A download file must be smaller than 2 GiB (2147483648 bytes).\n\n",
                  static_cast<long long>(size));
    return std::string(text) + path;
}
