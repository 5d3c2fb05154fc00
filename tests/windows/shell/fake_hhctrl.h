// What the stand-in HTML Help engine (fake_hhctrl.dll) saw.
#pragma once

#include <windows.h>

inline constexpr DWORD kFakeHelpCookie = 0x5EED1234;

struct FakeHelpRecord {
    int calls = 0;
    int initializeCalls = 0;
    int uninitializeCalls = 0;
    int displayCalls = 0;
    UINT lastCommand = 0;
    HWND lastOwner = nullptr;
    DWORD_PTR uninitializeCookie = 0;
    wchar_t lastFile[MAX_PATH] = {};
};

using FakeHelpRecordFn = FakeHelpRecord* (*)();
