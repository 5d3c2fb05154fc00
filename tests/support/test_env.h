// Points the process's temporary folder at a test folder, so that tests can
// see every temporary file a batch makes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// Sets the temporary folder for the lifetime of the object.
class TemporaryFolderOverride {
  public:
    explicit TemporaryFolderOverride(const std::filesystem::path& folder)
        : original_(std::filesystem::temp_directory_path()) {
        set(folder);
    }
    ~TemporaryFolderOverride() { set(original_); }
    TemporaryFolderOverride(const TemporaryFolderOverride&) = delete;
    TemporaryFolderOverride& operator=(const TemporaryFolderOverride&) = delete;

  private:
    static void set(const std::filesystem::path& folder) {
#ifdef _WIN32
        _wputenv_s(L"TMP", folder.wstring().c_str());
        _wputenv_s(L"TEMP", folder.wstring().c_str());
#else
        setenv("TMPDIR", folder.string().c_str(), 1);
#endif
    }
    std::filesystem::path original_;
};

inline int countFiles(const std::filesystem::path& folder) {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++n;
    }
    return n;
}
