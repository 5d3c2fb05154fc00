#include "language_module.h"

#include <cstdlib>

namespace langtest {

std::wstring languageLibraryPath(const std::wstring& language) {
    std::wstring folder;
    if (const wchar_t* fromEnvironment = _wgetenv(L"MORAVEL_LANGUAGE_DIR");
        fromEnvironment && *fromEnvironment) {
        folder = fromEnvironment;
    } else {
        folder = MORAVEL_LANGUAGE_DIR;
    }
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder + language + L".dll";
}

std::wstring loadString(HMODULE module, UINT id) {
    wchar_t buffer[260] = {};
    int length = LoadStringW(module, id, buffer, 260);
    return std::wstring(buffer, length > 0 ? length : 0);
}

size_t storedStringLength(HMODULE module, UINT id) {
    const wchar_t* text = nullptr;
    // A zero buffer size returns a pointer to the read-only resource itself.
    int length = LoadStringW(module, id, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? static_cast<size_t>(length) : 0;
}

std::span<const uint8_t> resourceBytes(HMODULE module, UINT id, LPCWSTR type) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {};
    return {static_cast<const uint8_t*>(data), SizeofResource(module, found)};
}

}  // namespace langtest
