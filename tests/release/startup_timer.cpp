// Measures how long Pirex.exe takes from its start until its settings window
// is visible, under Wine or Windows; closes it each time.
//
//   startup_timer PIREX.EXE [RUNS]
//
// Prints one time per run in milliseconds and then the median. The clock
// starts before CreateProcessW, so process creation counts too.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// The program's settings window once visible, or null after `timeoutMs`.
HWND waitForSettingsWindow(HANDLE process, DWORD timeoutMs) {
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < until) {
        HWND window = FindWindowW(L"Pirex_setting_class", nullptr);
        if (window && IsWindowVisible(window)) return window;
        if (WaitForSingleObject(process, 1) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

// One run: milliseconds to the visible window, or a negative value.
double timeOneStart(const wchar_t* program) {
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    if (!CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return -1;
    HWND window = waitForSettingsWindow(info.hProcess, 30000);
    QueryPerformanceCounter(&end);
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    if (!window) return -1;
    return 1000.0 * static_cast<double>(end.QuadPart - begin.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_timer PIREX.EXE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 5;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double ms = timeOneStart(argv[1]);
        if (ms < 0) {
            std::fprintf(stderr, "startup_timer: run %d: no settings window appeared\n", i + 1);
            return 1;
        }
        std::printf("run %d: %.0f ms\n", i + 1, ms);
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("median: %.0f ms over %d runs\n", times[times.size() / 2], runs);
    return 0;
}
