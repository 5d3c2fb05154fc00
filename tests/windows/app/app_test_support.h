// Paths and small helpers shared by the Windows program's tests.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"

namespace apptest {

// The width of `text` in the control's own font.
inline int textWidthIn(HWND control, const std::wstring& text) {
    HDC dc = GetDC(control);
    HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return size.cx;
}

// A folder named by an environment variable; a host path (/a/b) becomes the
// Wine drive path Z:\a\b.
inline std::filesystem::path folderFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    std::string text = value ? value : "";
    if (!text.empty() && text[0] == '/') {
        for (char& c : text)
            if (c == '/') c = '\\';
        text = "Z:" + text;
    }
    return std::filesystem::path(text);
}

inline std::filesystem::path binaryDir() {
    return folderFromEnvironment("MORAVEL_BINARY_DIR");
}
inline std::filesystem::path testData() {
    return folderFromEnvironment("MORAVEL_TEST_DATA");
}
// Pirex.exe and the language libraries.
inline std::filesystem::path programFolder() {
    return binaryDir() / "app";
}
// The libraries built only for these tests.
inline std::filesystem::path testLibraryFolder() {
    return binaryDir() / "tests" / "windows" / "app";
}

inline void copyInto(const std::filesystem::path& file, const std::filesystem::path& folder,
                     const std::string& name = "") {
    std::filesystem::copy_file(file, folder / (name.empty() ? file.filename().string() : name),
                               std::filesystem::copy_options::overwrite_existing);
}

// The text of string `id` of a library file, read directly.
inline std::wstring libraryString(const std::filesystem::path& library, UINT id) {
    HMODULE module = LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return L"<library missing>";
    wchar_t text[260] = {};
    LoadStringW(module, id, text, 260);
    FreeLibrary(module);
    return text;
}

// Three small pictures of different formats, a.bmp, b.png and c.jpg.
inline void copySampleSources(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    copyInto(testData() / "bmp" / "rgb24.bmp", folder, "a.bmp");
    copyInto(testData() / "png" / "ct2_d8_seq.png", folder, "b.png");
    copyInto(testData() / "jpeg" / "baseline_420.jpg", folder, "c.jpg");
}

// Delivers what is queued for this thread's windows; true when the program
// asked to quit.
inline bool drainMessages() {
    bool quit = false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return quit;
}

}  // namespace apptest
