// One Susie image plug-in, loaded from its file for the length of one
// operation. Every call into it runs behind the structured-exception guard;
// a fault counts as the call's failure result.
#pragma once

#include <windows.h>

#include <cstdint>

// What GetPictureInfo fills (natural alignment, as 64-bit plug-ins declare it).
struct PluginPictureInfo {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
    uint16_t horizontalDensity;
    uint16_t verticalDensity;
    int16_t colorDepth;
    HGLOBAL text;  // optional, allocated by the plug-in with GlobalAlloc
};
static_assert(sizeof(PluginPictureInfo) == 32);

// Size of GetPluginInfo's text buffers (patterns and format names).
inline constexpr int kPluginInfoBufferSize = 260;

class PluginLibrary {
  public:
    PluginLibrary() = default;
    ~PluginLibrary() { unload(); }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads the library at `path` (unloading any loaded one first).
    bool load(const wchar_t* path);
    // The last load failed inside the library's own start-up code (DllMain
    // faulted or refused), not because the file is no library.
    bool failedStarting() const { return failedStarting_; }
    void unload();
    bool loaded() const { return module_ != nullptr; }

    // GetPluginInfo index 0 begins with "00IN". A missing export or a fault
    // means it is not an import filter.
    bool isImportFilter();
    // GetPluginInfo(index) into `text` (kPluginInfoBufferSize + 1 bytes);
    // returns the length of the text stored, 0 for none, a missing export or
    // a fault. The text is always terminated.
    int infoText(int index, char* text);

    bool hasIsSupported() const { return isSupported_ != nullptr; }
    // IsSupported with the ANSI path and a file head; a fault counts as no.
    bool isSupported(const char* ansiPath, const uint8_t* head);
    // GetPictureInfo; true on result 0. `info` is zero-filled first.
    bool pictureInfo(const char* ansiPath, int32_t dataOffset, PluginPictureInfo& info);
    bool hasGetPicture() const { return getPicture_ != nullptr; }
    // GetPicture; true on result 0, with both handles returned. On false no
    // handle is passed on (whatever the plug-in returned is freed).
    bool picture(const char* ansiPath, int32_t dataOffset, HLOCAL& infoBlock, HLOCAL& bitsBlock);
    // ConfigurationDlg(parent, 1) when exported; its result and faults are ignored.
    void showSettings(HWND parent);

    // Code of the last fault inside the plug-in since it was loaded (0 when none).
    uint32_t lastFault() const { return lastFault_; }

  private:
    // Runs one plug-in call behind the guard; a fault is remembered.
    template <typename Call>
    bool guarded(Call& call);

    using GetPluginInfoFn = int(WINAPI*)(int, LPSTR, int);
    using IsSupportedFn = int(WINAPI*)(LPCSTR, void*);
    using GetPictureInfoFn = int(WINAPI*)(LPCSTR, LONG_PTR, unsigned int, PluginPictureInfo*);
    using ProgressFn = int(WINAPI*)(int, int, LONG_PTR);
    using GetPictureFn = int(WINAPI*)(LPCSTR, LONG_PTR, unsigned int, HLOCAL*, HLOCAL*, ProgressFn,
                                      LONG_PTR);
    using ConfigurationDlgFn = int(WINAPI*)(HWND, int);

    template <typename Fn>
    Fn find(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    HMODULE module_ = nullptr;
    GetPluginInfoFn getPluginInfo_ = nullptr;
    IsSupportedFn isSupported_ = nullptr;
    GetPictureInfoFn getPictureInfo_ = nullptr;
    GetPictureFn getPicture_ = nullptr;
    ConfigurationDlgFn configurationDlg_ = nullptr;
    uint32_t lastFault_ = 0;
    bool failedStarting_ = false;
};
