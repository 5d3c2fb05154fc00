#include "plugins/plugin_library.h"

#include <cstring>

#include "plugins/plugin_guard.h"

namespace {

// The host never cancels a plug-in's work.
int WINAPI keepGoing(int, int, LONG_PTR) {
    return 0;
}

// Room beyond what the plug-in is told it may use, so that one writing a
// little past its buffer hits our slack, not our stack.
constexpr int kSlack = 64;

// Errors of a library whose DllMain returned FALSE or faulted: the loader
// catches a fault there itself and reports its code (Wine as the status
// mapped to an error, ERROR_NOACCESS for an access violation; Windows as
// ERROR_DLL_INIT_FAILED).
bool isStartUpFailure(DWORD error) {
    return error == ERROR_DLL_INIT_FAILED || error == ERROR_NOACCESS ||
           error == ERROR_STACK_OVERFLOW || error == ERROR_MR_MID_NOT_FOUND;
}

}  // namespace

// The library is loaded outside the guard on purpose. A fault in its DllMain
// happens inside the system's loader with the loader lock held; the loader
// catches it with a handler of its own, unwinds its frames (releasing the
// lock, dropping the half-loaded module) and fails the load. The guard would
// see the fault first and jump over all of that: tried under Wine, another
// thread's LoadLibrary then blocked for good, and loading the same file again
// "succeeded" with a module whose DllMain never finished.
bool PluginLibrary::load(const wchar_t* path) {
    unload();
    lastFault_ = 0;
    failedStarting_ = false;
    // A broken plug-in file must not bring up a system error box.
    DWORD oldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    module_ = LoadLibraryW(path);
    const DWORD error = module_ ? 0 : GetLastError();
    SetThreadErrorMode(oldMode, nullptr);
    if (!module_) {
        failedStarting_ = isStartUpFailure(error);
        return false;
    }
    getPluginInfo_ = find<GetPluginInfoFn>("GetPluginInfo");
    isSupported_ = find<IsSupportedFn>("IsSupported");
    getPictureInfo_ = find<GetPictureInfoFn>("GetPictureInfo");
    getPicture_ = find<GetPictureFn>("GetPicture");
    configurationDlg_ = find<ConfigurationDlgFn>("ConfigurationDlg");
    return true;
}

void PluginLibrary::unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
    getPluginInfo_ = nullptr;
    isSupported_ = nullptr;
    getPictureInfo_ = nullptr;
    getPicture_ = nullptr;
    configurationDlg_ = nullptr;
}

template <typename Call>
bool PluginLibrary::guarded(Call& call) {
    uint32_t fault = 0;
    if (runGuarded(call, fault)) return true;
    lastFault_ = fault;
    return false;
}

bool PluginLibrary::isImportFilter() {
    if (!getPluginInfo_) return false;
    char version[8 + kSlack] = {};
    int stored = 0;
    auto call = [&] { stored = getPluginInfo_(0, version, 8); };
    if (!guarded(call)) return false;
    return stored > 0 && std::memcmp(version, "00IN", 4) == 0;
}

int PluginLibrary::infoText(int index, char* text) {
    text[0] = 0;
    if (!getPluginInfo_) return 0;
    char buffer[kPluginInfoBufferSize + kSlack] = {};
    int stored = 0;
    auto call = [&] { stored = getPluginInfo_(index, buffer, kPluginInfoBufferSize); };
    if (!guarded(call) || stored <= 0) return 0;
    // The count may overstate what was stored; the text ends at its first
    // terminator and within the buffer in any case.
    const size_t limit = static_cast<size_t>(
        stored < kPluginInfoBufferSize - 1 ? stored : kPluginInfoBufferSize - 1);
    const size_t length = strnlen(buffer, limit);
    std::memcpy(text, buffer, length);
    text[length] = 0;
    return static_cast<int>(length);
}

bool PluginLibrary::isSupported(const char* ansiPath, const uint8_t* head) {
    if (!isSupported_) return false;
    int result = 0;
    auto call = [&] { result = isSupported_(ansiPath, const_cast<uint8_t*>(head)); };
    if (!guarded(call)) return false;
    return result != 0;
}

bool PluginLibrary::pictureInfo(const char* ansiPath, int32_t dataOffset, PluginPictureInfo& info) {
    std::memset(&info, 0, sizeof info);
    if (!getPictureInfo_) return false;
    int result = -1;
    auto call = [&] { result = getPictureInfo_(ansiPath, dataOffset, 0, &info); };
    if (!guarded(call)) {
        // Whatever it wrote before it faulted is not to be trusted.
        std::memset(&info, 0, sizeof info);
        return false;
    }
    return result == 0;
}

bool PluginLibrary::picture(const char* ansiPath, int32_t dataOffset, HLOCAL& infoBlock,
                            HLOCAL& bitsBlock) {
    infoBlock = nullptr;
    bitsBlock = nullptr;
    if (!getPicture_) return false;
    HLOCAL info = nullptr;
    HLOCAL bits = nullptr;
    int result = -1;
    auto call = [&] { result = getPicture_(ansiPath, dataOffset, 0, &info, &bits, keepGoing, 0); };
    if (!guarded(call)) return false;  // handles of a faulted call are not touched
    if (result != 0 || !info || !bits) {
        // A plug-in that reports an error may still have handed over blocks.
        if (result == 0) {
            if (info) LocalFree(info);
            if (bits) LocalFree(bits);
        }
        return false;
    }
    infoBlock = info;
    bitsBlock = bits;
    return true;
}

void PluginLibrary::showSettings(HWND parent) {
    if (!configurationDlg_) return;
    auto call = [&] { configurationDlg_(parent, 1); };
    guarded(call);
}
