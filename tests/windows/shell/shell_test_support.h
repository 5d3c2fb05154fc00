// Helpers for the shell tests: the test program's own folder (the stand-in
// engines sit next to it) and small file utilities on wide paths.
#pragma once

#include <windows.h>

#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// A folder holding a program path and the manual page beside it, as a
// release unpacks them: <folder>\Pirex.exe (not created) and
// <folder>\manual\index.html.
struct ProgramWithManual {
    explicit ProgramWithManual(const std::filesystem::path& folder)
        : program((folder / "Pirex.exe").wstring()),
          page((folder / "manual" / "index.html").wstring()) {
        std::filesystem::create_directories(folder / "manual");
        touchFile(page, "<html></html>");
    }
    std::wstring program;
    std::wstring page;
};

// The shell's own association for ".html" pointed at open_recorder.exe (next
// to the test), which writes the path it is asked to open into a file: what
// ShellExecuteExW really opens, with no browser started. Registered through
// HKEY_CLASSES_ROOT of the test prefix and put back when the test ends.
class RecordingPageViewer {
  public:
    explicit RecordingPageViewer(const std::filesystem::path& record) : record_(record) {
        DWORD size = sizeof oldClass_;
        hadClass_ = RegGetValueW(HKEY_CLASSES_ROOT, L".html", nullptr, RRF_RT_REG_SZ, nullptr,
                                 oldClass_, &size) == ERROR_SUCCESS;
        const std::wstring command = L"\"" + (testProgramFolder() / "open_recorder.exe").wstring() +
                                     L"\" \"" + record.wstring() + L"\" \"%1\"";
        ok_ = setDefault(L".html", kClass) &&
              setDefault(std::wstring(kClass) + L"\\shell\\open\\command", command.c_str());
    }
    ~RecordingPageViewer() {
        if (hadClass_)
            setDefault(L".html", oldClass_);
        else
            RegDeleteTreeW(HKEY_CLASSES_ROOT, L".html");
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kClass);
    }
    bool ok() const { return ok_; }

    // The path the viewer was started with; empty when it did not start within
    // 20 seconds. The record is consumed, ready for the next opening.
    std::wstring openedPath() {
        for (int wait = 0; wait < 400; ++wait) {
            std::ifstream in(record_, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
            if (bytes.size() >= 2 &&
                bytes.compare(bytes.size() - 2, 2, std::string(2, '\0')) == 0) {
                in.close();
                std::filesystem::remove(record_);
                return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                                    bytes.size() / 2 - 1);
            }
            Sleep(50);
        }
        return L"";
    }

  private:
    static constexpr wchar_t kClass[] = L"MoravelTest.RecordedPage";
    static bool setDefault(const std::wstring& key, const wchar_t* value) {
        return RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value,
                               static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }
    std::filesystem::path record_;
    wchar_t oldClass_[MAX_PATH] = {};
    bool hadClass_ = false;
    bool ok_ = false;
};
