// The program started in-process for the DPI tests: a settings file of the
// test's own in a language and font size, the real language libraries, and
// the process per-monitor aware as Pirex.exe's manifest makes it.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/application.h"
#include "app/text.h"
#include "core/settings_store.h"
#include "tests/windows/app/app_test_support.h"

namespace dpitest {

inline constexpr int kDesignDpi = 96;

struct Case {
    const char16_t* language;
    int fontHeight;
};

// "English-12", "Japanese-14".
inline std::string caseName(const Case& c) {
    std::string name;
    for (const char16_t* p = c.language; *p; ++p) name += static_cast<char>(*p);
    return name + std::to_string(c.fontHeight);
}

// The DPI run_dpi_test.sh set for this run; 0 when run otherwise.
inline int expectedDpi() {
    const char* value = std::getenv("MORAVEL_DPI");
    return value ? std::atoi(value) : 0;
}

inline void becomeDpiAware() {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    const auto set = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (set) set(reinterpret_cast<HANDLE>(-4));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
}

// A system metric at `dpi`.
inline int metricForDpi(int index, int dpi) {
    using MetricsForDpi = int(WINAPI*)(int, UINT);
    const auto metric = reinterpret_cast<MetricsForDpi>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
    return metric ? metric(index, static_cast<UINT>(dpi)) : 0;
}

// `control`'s window rectangle in `parent`'s client coordinates.
inline RECT placeOf(HWND parent, HWND control) {
    RECT box = {};
    GetWindowRect(control, &box);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
    return box;
}

class Program {
  public:
    // Starts the program without files (the settings window shows), with
    // the default settings changed by `adjust`; false when it did not start.
    bool start(const Case& c, const std::function<void(Settings&)>& adjust = {}) {
        Settings settings;
        if (adjust) adjust(settings);
        settings.language.assign(c.language);
        settings.fontHeight = c.fontHeight;
        const std::filesystem::path settingsFile = temp_ / "Pirex.ini";
        if (!saveSettings(app::utf16(settingsFile.c_str()), settings)) return false;
        const std::filesystem::path folder = apptest::programFolder();
        const std::wstring commandLine = L"\"" + (folder / "Pirex.exe").wstring() + L"\"";
        arguments_.split(commandLine.c_str());
        location_.programFolder.assign(app::utf16(folder.c_str()));
        location_.settingsFile.assign(app::utf16(settingsFile.c_str()));
        app_ = std::make_unique<app::Application>(
            GetModuleHandleW(nullptr), [](HWND, const wchar_t*, const wchar_t*, UINT) {});
        app::StartOptions options;
        options.osClass = 5;
        options.arguments = &arguments_;
        options.location = &location_;
        options.uiLanguage = 0x0409;
        return app_->initialize(options);
    }
    void stop() {
        app_.reset();
        apptest::drainMessages();
    }
    ~Program() { stop(); }

    app::Application* operator->() { return app_.get(); }
    app::Application& operator*() { return *app_; }
    explicit operator bool() const { return app_ != nullptr; }
    void reset() { stop(); }

  private:
    TempFolder temp_;
    app::ArgumentVector arguments_;
    SettingsLocation location_;
    std::unique_ptr<app::Application> app_;
};

}  // namespace dpitest
