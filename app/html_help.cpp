#include "app/html_help.h"

#include <htmlhelp.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>

namespace app {

namespace {

constexpr int kHtmlHelpWOrdinal = 15;

// The engine's DLL as registered for its class: the default value of the
// server key, with environment variables expanded for REG_EXPAND_SZ (other
// types are taken as they are). False when the class is not registered or the
// expanded path does not fit.
bool registeredServerPath(const char* serverKey, char (&path)[MAX_PATH]) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, serverKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    // One byte is kept back so the value is terminated even when the stored
    // string is not.
    char value[MAX_PATH] = {};
    DWORD type = 0;
    DWORD size = sizeof value - 1;
    const LONG status =
        RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return false;
    if (type == REG_EXPAND_SZ) {
        const DWORD needed = ExpandEnvironmentStringsA(value, path, MAX_PATH);
        return needed != 0 && needed <= MAX_PATH;
    }
    std::memcpy(path, value, sizeof value);
    return true;
}

}  // namespace

HtmlHelpEngine::HtmlHelpEngine(const HtmlHelpEngineLocation& location) : location_(location) {}

HtmlHelpEngine::~HtmlHelpEngine() {
    if (module_ != nullptr) FreeLibrary(module_);
}

int HtmlHelpEngine::loadAttempts() const {
    return loadAttempts_;
}

bool HtmlHelpEngine::load() {
    if (entry_ != nullptr) return true;
    if (failed_) return false;
    ++loadAttempts_;
    char path[MAX_PATH] = {};
    if (registeredServerPath(location_.classServerKey, path)) module_ = LoadLibraryA(path);
    if (module_ == nullptr) module_ = LoadLibraryA(location_.fallbackLibrary);
    if (module_ != nullptr)
        entry_ = reinterpret_cast<HtmlHelpProc>(
            reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(kHtmlHelpWOrdinal))));
    if (entry_ == nullptr) {
        // Remembered for the rest of the run: help without an engine must not
        // search the disk again on every press of the button.
        failed_ = true;
        if (module_ != nullptr) {
            FreeLibrary(module_);
            module_ = nullptr;
        }
        return false;
    }
    return true;
}

HWND HtmlHelpEngine::call(HWND owner, const wchar_t* file, UINT command, DWORD_PTR data) {
    if (!load()) return nullptr;
    return entry_(owner, file, command, data);
}

void HtmlHelpEngine::initialize() {
    if (initialized_ || !load()) return;
    // The engine writes a DWORD cookie; a pointer-sized, zeroed slot is safe
    // whichever width a particular engine writes.
    DWORD_PTR cookie = 0;
    entry_(nullptr, nullptr, HH_INITIALIZE, reinterpret_cast<DWORD_PTR>(&cookie));
    cookie_ = cookie;
    initialized_ = true;
}

void HtmlHelpEngine::uninitialize() {
    if (!initialized_) return;
    call(nullptr, nullptr, HH_UNINITIALIZE, cookie_);
    initialized_ = false;
    cookie_ = 0;
}

bool HtmlHelpEngine::displayTopic(HWND owner, const wchar_t* chmPath) {
    return call(owner, chmPath, HH_DISPLAY_TOPIC, 0) != nullptr;
}

bool openAddressWithShell(const wchar_t* address) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpFile = address;
    info.nShow = SW_SHOW;
    return ShellExecuteExW(&info) != FALSE;
}

bool helpFilePathFor(const wchar_t* programPath, wchar_t (&chmPath)[MAX_PATH]) {
    const size_t length = std::wcslen(programPath);
    if (length >= MAX_PATH) return false;
    std::wmemcpy(chmPath, programPath, length + 1);
    // The extension starts at the last dot after the last separator; a name
    // without one gets ".chm" appended.
    size_t stem = length;
    for (size_t i = length; i > 0; --i) {
        const wchar_t c = chmPath[i - 1];
        if (c == L'\\' || c == L'/' || c == L':') break;
        if (c == L'.') {
            stem = i - 1;
            break;
        }
    }
    constexpr wchar_t kExtension[] = L".chm";
    constexpr size_t kExtensionLength = sizeof kExtension / sizeof(wchar_t) - 1;
    if (stem + kExtensionLength >= MAX_PATH) return false;
    std::wmemcpy(chmPath + stem, kExtension, kExtensionLength + 1);
    return true;
}

bool manualPagePathFor(const wchar_t* programPath, wchar_t (&pagePath)[MAX_PATH]) {
    constexpr wchar_t kPage[] = L"manual\\index.html";
    constexpr size_t kPageLength = sizeof kPage / sizeof(wchar_t) - 1;
    const size_t length = std::wcslen(programPath);
    // The folder keeps its separator; a bare name lies in the current folder.
    size_t folder = length;
    while (folder > 0 && programPath[folder - 1] != L'\\' && programPath[folder - 1] != L'/' &&
           programPath[folder - 1] != L':')
        --folder;
    if (folder + kPageLength >= MAX_PATH) return false;
    std::wmemcpy(pagePath, programPath, folder);
    std::wmemcpy(pagePath + folder, kPage, kPageLength + 1);
    return true;
}

bool showHelp(HtmlHelpEngine& engine, const wchar_t* programPath, OpenAddressFn openAddress) {
    wchar_t chmPath[MAX_PATH];
    if (helpFilePathFor(programPath, chmPath) && PathFileExistsW(chmPath))
        return engine.displayTopic(nullptr, chmPath);
    // The same pages as HTML, opened by whatever shows web pages here.
    wchar_t pagePath[MAX_PATH];
    if (manualPagePathFor(programPath, pagePath) && PathFileExistsW(pagePath))
        return openAddress(pagePath);
    return false;
}

bool showHelp(HtmlHelpEngine& engine) {
    wchar_t programPath[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, programPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    return showHelp(engine, programPath);
}

}  // namespace app
