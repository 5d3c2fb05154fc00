// A stand-in for the HTML Help engine: HtmlHelpW (exported by ordinal 15
// only, as the real engine's loaders expect) records every call and opens
// nothing. The test reads the record through fakeHelpRecord.
#include "tests/windows/shell/fake_hhctrl.h"

#include <windows.h>

#include <cwchar>

namespace {
FakeHelpRecord record;
}

extern "C" HWND WINAPI fakeHtmlHelpW(HWND owner, const wchar_t* file, UINT command,
                                     DWORD_PTR data) {
    ++record.calls;
    record.lastCommand = command;
    record.lastOwner = owner;
    record.lastFile[0] = L'\0';
    if (file != nullptr) wcsncpy(record.lastFile, file, MAX_PATH - 1);
    switch (command) {
        case 0x1C:  // HH_INITIALIZE: hands out a cookie
            *reinterpret_cast<DWORD*>(data) = kFakeHelpCookie;
            ++record.initializeCalls;
            return nullptr;
        case 0x1D:  // HH_UNINITIALIZE: gets it back
            record.uninitializeCookie = data;
            ++record.uninitializeCalls;
            return nullptr;
        case 0x00:  // HH_DISPLAY_TOPIC: "opens" a window
            ++record.displayCalls;
            return GetDesktopWindow();
    }
    return nullptr;
}

extern "C" FakeHelpRecord* fakeHelpRecord() {
    return &record;
}
