// vennix-window-probe.exe: starts a program (or opens a shortcut to one),
// waits for its window by caption, and says how long that took; optionally
// measures the processor time the program uses while it sits idle, then
// closes the window with its close box and waits for the program to end.
// The Windows stage uses it where a person would look at the screen.
//
// Usage: vennix-window-probe PROGRAM_OR_SHORTCUT CAPTION [IDLE_SECONDS]
//        vennix-window-probe --wait-desktop   (until a window can be made: a
//        wine desktop that is still starting refuses windows for a moment)
// Exit: 0 window seen and program ended; 1 no window within 30 s; 2 usage;
//       3 the program did not end within 30 s of closing its window.

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int WindowLimitMs = 30000;
constexpr DWORD EndLimitMs = 30000;

uint64_t ProcessorTime100ns(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    auto value = [](const FILETIME& time) {
        return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return value(kernel) + value(user);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "--wait-desktop") {
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(WindowLimitMs)) {
            if (HWND window = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr)) {
                ::DestroyWindow(window);
                return 0;
            }
            ::Sleep(50);
        }
        std::fprintf(stderr, "no desktop within %d s\n", WindowLimitMs / 1000);
        return 1;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: vennix-window-probe PROGRAM_OR_SHORTCUT CAPTION [IDLE_SECONDS]\n");
        return 2;
    }
    const std::string target = argv[1];
    const std::string caption = argv[2];
    const double idleSeconds = argc > 3 ? std::atof(argv[3]) : 0;

    const auto start = std::chrono::steady_clock::now();
    SHELLEXECUTEINFOA execute{};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = "open";
    execute.lpFile = target.c_str();
    execute.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExA(&execute)) {
        std::fprintf(stderr, "cannot start %s (error %lu)\n", target.c_str(), ::GetLastError());
        return 1;
    }

    HWND window = nullptr;
    while (!(window = ::FindWindowA(nullptr, caption.c_str())) || !::IsWindowVisible(window)) {
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(WindowLimitMs)) {
            std::fprintf(stderr, "no window \"%s\" within %d s\n", caption.c_str(), WindowLimitMs / 1000);
            if (execute.hProcess)
                ::TerminateProcess(execute.hProcess, 1);
            return 1;
        }
        ::Sleep(10);
    }
    const auto shown = std::chrono::steady_clock::now();
    std::printf("window after %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(shown - start).count()));

    // The program's own process: a shortcut may have started it through another.
    HANDLE process = execute.hProcess;
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (HANDLE owner = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId))
        process = owner;

    if (idleSeconds > 0 && process) {
        const uint64_t before = ProcessorTime100ns(process);
        ::Sleep(static_cast<DWORD>(idleSeconds * 1000));
        const uint64_t used = ProcessorTime100ns(process) - before;
        std::printf("idle processor use %.2f %% over %.1f s\n", used / 1e5 / idleSeconds, idleSeconds);
    }
    std::fflush(stdout);

    ::PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (process && ::WaitForSingleObject(process, EndLimitMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "the program did not end within %lu s of closing its window\n", EndLimitMs / 1000);
        return 3;
    }
    std::printf("ended\n");
    return 0;
}
