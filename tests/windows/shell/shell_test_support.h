// Helpers for the shell tests: the test program's own folder (the stand-in
// engines sit next to it) and small file utilities on wide paths.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

inline std::filesystem::path testProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path();
}

inline void touchFile(const std::filesystem::path& file, const std::string& content = "x") {
    std::ofstream(file, std::ios::binary) << content;
}

inline std::string fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
