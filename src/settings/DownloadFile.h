#pragma once

#include <cstdint>
#include <string>

// What kind of download a file is, from its extension. Both transports take it;
// 0 means no file has been recognised yet.
enum DownloadFileKind : int32_t {
    Firmware = 1,    // .BIN
    Application = 2, // .BFF
};

// Flash space, in kilobytes, that a file of `size` bytes occupies in whole
// 64 KiB sectors; an empty file still takes one sector.
int32_t FlashRequiredKB(int64_t size);

// The classification the main window shows for a selected path.
struct DownloadFileInfo {
    enum Outcome {
        NoSuchFile,   // status query failed, or a folder: no message, path still remembered
        Unrecognised, // extension neither .bff nor .bin: "Unrecognizeable file type"
        TooLarge,     // 2 GiB or more: sizes and the firmware frame's length are 32-bit
        Recognised,
    };
    Outcome outcome = NoSuchFile;
    DownloadFileKind kind = static_cast<DownloadFileKind>(0);
    int64_t size = 0;
    std::string sizeText;   // "App download size: ..." / "Firmware download size: ..."
    std::string buttonText; // the Download button's label for the kind
};

DownloadFileInfo ClassifyDownloadFile(const std::string& path);

// Largest file either transport can describe: sizes are signed 32-bit.
constexpr int64_t MaxDownloadFileSize = 0x7FFFFFFF;

// Message shown for a file at or above 2 GiB.
std::string TooLargeMessage(const std::string& path, int64_t size);
