// Walks the real Pirex.exe through its windows for scripts/screenshots.sh:
// it starts the program, waits for each window or dialog to show, writes
// the window's rectangle to STATE\<scene>.rect ("x y width height") and
// waits for STATE\<scene>.done, which the script creates once it has taken
// the picture. Run inside the same Wine desktop as the program.
//
//   screenshot_driver.exe convert  PIREX STATE PICTURE   the convert window
//   screenshot_driver.exe settings PIREX STATE           settings window, options
//                                                        and plug-in dialogs, About
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

namespace {

constexpr DWORD kPatience = 20000;  // ms for a window to show or a picture to be taken

std::wstring stateFolder;

HWND waitFor(const std::function<HWND()>& find) {
    for (DWORD waited = 0; waited < kPatience; waited += 100) {
        if (HWND window = find()) return window;
        Sleep(100);
    }
    return nullptr;
}

HWND visibleWindow(const wchar_t* className) {
    HWND window = FindWindowW(className, nullptr);
    return window && IsWindowVisible(window) ? window : nullptr;
}

// The enabled, visible dialog that holds control `childId`.
HWND frontDialog(int childId) {
    struct Search {
        int childId;
        HWND found;
    } search = {childId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(window) &&
                IsWindowEnabled(window) && GetDlgItem(window, search->childId)) {
                search->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Lets the window paint, reports its rectangle and waits for the picture.
bool announce(const wchar_t* scene, HWND window) {
    if (!window) {
        fwprintf(stderr, L"screenshot_driver: %ls did not show\n", scene);
        return false;
    }
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(1500);
    RECT box = {};
    GetWindowRect(window, &box);
    const std::wstring base = stateFolder + L"\\" + scene;
    FILE* out = _wfopen((base + L".rect.tmp").c_str(), L"w");
    if (!out) return false;
    fprintf(out, "%ld %ld %ld %ld\n", box.left, box.top, box.right - box.left,
            box.bottom - box.top);
    fclose(out);
    MoveFileW((base + L".rect.tmp").c_str(), (base + L".rect").c_str());
    const std::wstring done = base + L".done";
    return waitFor([&]() -> HWND {
               return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES
                          ? reinterpret_cast<HWND>(1)
                          : nullptr;
           }) != nullptr;
}

void click(HWND window, int id) {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

bool start(const std::wstring& commandLine, PROCESS_INFORMATION& process) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring line = commandLine;
    return CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process);
}

int settingsScenes(const std::wstring& pirex) {
    PROCESS_INFORMATION process = {};
    if (!start(L"\"" + pirex + L"\"", process)) return 1;
    bool ok = true;
    HWND settings = waitFor([] { return visibleWindow(L"Pirex_setting_class"); });
    ok = ok && announce(L"settings", settings);
    if (ok) click(settings, 1090);
    HWND options = ok ? waitFor([] { return frontDialog(2021); }) : nullptr;
    ok = ok && announce(L"options", options);
    if (ok) click(options, 2011);
    HWND plugins = ok ? waitFor([] { return frontDialog(2140); }) : nullptr;
    ok = ok && announce(L"plugins", plugins);
    if (ok) {
        click(plugins, IDCANCEL);
        waitFor([] { return frontDialog(2021); });
        click(options, IDCANCEL);
        waitFor([&]() -> HWND { return IsWindowEnabled(settings) ? settings : nullptr; });
        click(settings, 1093);
    }
    HWND about = ok ? waitFor([] { return visibleWindow(L"ver_parent_class"); }) : nullptr;
    ok = ok && announce(L"about", about);
    if (about) PostMessageW(about, WM_CLOSE, 0, 0);
    Sleep(500);
    if (settings) PostMessageW(settings, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.hProcess, kPatience);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ok ? 0 : 1;
}

int convertScene(const std::wstring& pirex, const std::wstring& picture) {
    PROCESS_INFORMATION process = {};
    if (!start(L"\"" + pirex + L"\" \"" + picture + L"\"", process)) return 1;
    HWND convert = waitFor([] { return visibleWindow(L"Pirex_convert_class"); });
    const bool ok = announce(L"convert", convert);
    // Esc: the program ends without converting.
    if (convert) PostMessageW(convert, WM_KEYDOWN, VK_ESCAPE, 0);
    WaitForSingleObject(process.hProcess, kPatience);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        fwprintf(stderr, L"usage: screenshot_driver convert|settings PIREX STATE [PICTURE]\n");
        return 2;
    }
    // Per-monitor aware like Pirex.exe, so that the rectangles it reports
    // are the screen's pixels at any DPI.
    using SetContext = BOOL(WINAPI*)(HANDLE);
    if (const auto set = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext"))))
        set(reinterpret_cast<HANDLE>(-4));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    const std::wstring scene = argv[1];
    stateFolder = argv[3];
    if (scene == L"convert" && argc >= 5) return convertScene(argv[2], argv[4]);
    if (scene == L"settings") return settingsScenes(argv[2]);
    return 2;
}
