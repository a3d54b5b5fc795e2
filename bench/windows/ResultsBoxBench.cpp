// Throughput of the Win32 results box: mixed bytes (text lines, control bytes
// shown as tags, loader prompts shown as labels) appended in the 1024-byte
// chunks that one WM_SERIAL_RECEIVED brings, with the window's message queue
// run as the program runs it, so that its frame timer repaints as it would.
// Prints MB/s for each megabyte, to show that the rate stays flat as the
// history grows, and the memory the history holds. Run under wine on a
// display: bench/windows/run-window-bench.sh.
//
// Usage: vennix-results-box-bench [megabytes]   (default 32)

#include "ResultsBox.h"
#include "ResourceIds.h"

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

std::vector<uint8_t> MixedBytes(size_t size)
{
    // Mostly printable lines as a terminal's chatter has them, with a control
    // byte now and then and a loader prompt once in a while.
    std::mt19937 random(7);
    std::vector<uint8_t> bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        const int kind = static_cast<int>(random() % 100);
        if (kind < 80) {
            const int length = 20 + static_cast<int>(random() % 60);
            for (int i = 0; i < length; ++i)
                bytes.push_back(static_cast<uint8_t>(0x20 + random() % 0x5F));
            bytes.push_back('\r');
            bytes.push_back('\n');
        } else if (kind < 97) {
            bytes.push_back(static_cast<uint8_t>(random() % 0x20));
            bytes.push_back(static_cast<uint8_t>(0x80 + random() % 0x80));
        } else {
            bytes.push_back(kind % 2 ? 0xAA : 0xFF);
            bytes.push_back(kind % 2 ? 0x55 : 0x99);
        }
    }
    bytes.resize(size);
    return bytes;
}

void Pump()
{
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 32;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    ResultsBox::Register(instance);
    // The results box at its size in the main window at 96 dots an inch.
    // A wine desktop that is still starting refuses windows for a moment.
    HWND window = nullptr;
    for (int attempt = 0; attempt < 300 && !window; ++attempt) {
        window = ::CreateWindowExA(WS_EX_CLIENTEDGE, VENNIX_RESULTS_CLASS, "", WS_POPUP | WS_VISIBLE | WS_VSCROLL |
                                   WS_HSCROLL, 20, 20, 480, 115, nullptr, nullptr, instance, nullptr);
        if (!window)
            ::Sleep(100);
    }
    if (!window) {
        std::fprintf(stderr, "no window: is there a display?\n");
        return 1;
    }
    ::SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    ResultsBox* box = ResultsBox::FromWindow(window);

    constexpr size_t Megabyte = 1024 * 1024;
    constexpr size_t Chunk = 1024;
    const std::vector<uint8_t> bytes = MixedBytes(Megabyte);
    std::printf("results box: %d MB of mixed bytes in %zu-byte chunks, repainted as the program does\n", megabytes,
                Chunk);
    std::printf("%6s %10s %12s %14s\n", "MB", "MB/s", "rows", "memory MiB");
    const auto start = std::chrono::steady_clock::now();
    for (int block = 1; block <= megabytes; ++block) {
        const auto blockStart = std::chrono::steady_clock::now();
        for (size_t at = 0; at < bytes.size(); at += Chunk) {
            box->AppendBytes(bytes.data() + at, std::min(Chunk, bytes.size() - at), false, 0);
            Pump();
        }
        box->FirstVisibleRow(); // what is pending is shown
        ::UpdateWindow(window);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - blockStart).count();
        if (block == 1 || block % 4 == 0 || block == megabytes)
            std::printf("%6d %10.1f %12zu %14.1f\n", block, 1.0 / seconds, box->History().RowCount(),
                        box->History().MemoryUsed() / double(Megabyte));
    }
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("overall %.1f MB/s\n", megabytes / total);
    ::DestroyWindow(window);
    return 0;
}
