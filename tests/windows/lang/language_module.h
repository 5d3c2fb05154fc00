// Helpers shared by the language library tests: where the libraries are,
// loading one, and reading its resources.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

namespace langtest {

// The built language libraries: MORAVEL_LANGUAGE_DIR when set, else the
// build's program folder (compiled in).
std::wstring languageLibraryPath(const std::wstring& language);

// A module loaded with LoadLibraryW, freed when the object goes away.
class LoadedLibrary {
  public:
    explicit LoadedLibrary(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {}
    ~LoadedLibrary() {
        if (module_) FreeLibrary(module_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    HMODULE get() const { return module_; }

  private:
    HMODULE module_;
};

// The string as LoadStringW gives it to a 260-character buffer.
std::wstring loadString(HMODULE module, UINT id);

// The full length of a string-table entry, however long (0 when missing).
size_t storedStringLength(HMODULE module, UINT id);

// The bytes of a resource; empty when it is missing.
std::span<const uint8_t> resourceBytes(HMODULE module, UINT id, LPCWSTR type);

}  // namespace langtest
