// The HTML Help engine, reached through its registered class and loaded on
// the first call, and "show help": the compiled manual next to the program,
// or the same pages as HTML in the manual folder beside it when there is none.
#pragma once

#include <windows.h>

namespace app {

// Where the engine is looked for. The defaults are the system's; tests point
// them at a class and a library of their own. The strings are not copied and
// must outlive the engine.
struct HtmlHelpEngineLocation {
    // Key under HKEY_CLASSES_ROOT whose default value names the engine's DLL.
    const char* classServerKey = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
    // Loaded by name when the registered path gives no module.
    const char* fallbackLibrary = "hhctrl.ocx";
};

// One per process, kept for the whole run. Not copyable: it owns the module.
class HtmlHelpEngine {
  public:
    HtmlHelpEngine() = default;
    explicit HtmlHelpEngine(const HtmlHelpEngineLocation& location);
    ~HtmlHelpEngine();
    HtmlHelpEngine(const HtmlHelpEngine&) = delete;
    HtmlHelpEngine& operator=(const HtmlHelpEngine&) = delete;

    // HH_INITIALIZE at start-up; keeps the cookie for uninitialize().
    void initialize();
    // HH_UNINITIALIZE at exit with the kept cookie (nothing when never initialised).
    void uninitialize();
    // HH_DISPLAY_TOPIC for a compiled help file; false when the engine is
    // unavailable or refuses the file.
    bool displayTopic(HWND owner, const wchar_t* chmPath);
    // How many times the engine's library has been looked for: at most one,
    // because a failed load is remembered and never retried.
    int loadAttempts() const;

    // Forwards one call to the engine's HtmlHelpW; 0 when the engine is
    // unavailable.
    HWND call(HWND owner, const wchar_t* file, UINT command, DWORD_PTR data);

  private:
    using HtmlHelpProc = HWND(WINAPI*)(HWND, const wchar_t*, UINT, DWORD_PTR);

    bool load();

    HtmlHelpEngineLocation location_{};
    HMODULE module_ = nullptr;
    HtmlHelpProc entry_ = nullptr;
    bool failed_ = false;
    int loadAttempts_ = 0;
    DWORD_PTR cookie_ = 0;
    bool initialized_ = false;
};

// Opens a web address or a file with the program the shell associates with
// it, without showing the shell's error UI; true when the shell accepted it.
using OpenAddressFn = bool (*)(const wchar_t* address);
bool openAddressWithShell(const wchar_t* address);

// The manual for a program: its path with the extension replaced by ".chm".
// False when the result would not fit MAX_PATH.
bool helpFilePathFor(const wchar_t* programPath, wchar_t (&chmPath)[MAX_PATH]);

// The manual's first HTML page for a program: "manual\index.html" in the
// program's folder. False when the result would not fit MAX_PATH.
bool manualPagePathFor(const wchar_t* programPath, wchar_t (&pagePath)[MAX_PATH]);

// Show help: the compiled manual through the engine when it exists next to
// programPath, otherwise the manual's HTML page beside it through
// openAddress. Returns whether something was opened: false, with nothing
// opened, when neither exists.
bool showHelp(HtmlHelpEngine& engine, const wchar_t* programPath,
              OpenAddressFn openAddress = openAddressWithShell);
// The same for the running program (GetModuleFileNameW).
bool showHelp(HtmlHelpEngine& engine);

}  // namespace app
