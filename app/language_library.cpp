#include "app/language_library.h"

#include <cstring>
#include <utility>

#include "app/text.h"

namespace app {

namespace {

constexpr LANGID kJapaneseUi = 0x0411;
constexpr char16_t kEnglish[] = u"English";
constexpr char16_t kJapanese[] = u"Japanese";
constexpr char kMarker[] = "Pirex";  // with its NUL: six bytes
constexpr DWORD kDataFileFlags = LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;

HMODULE loadAsData(const wchar_t* path) {
    // No error dialog for a damaged file.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExW(path, nullptr, kDataFileFlags);
    SetErrorMode(previous);
    return module;
}

bool hasFolderPart(const char16_t* name) {
    for (const char16_t* p = name; *p; ++p)
        if (*p == u'\\' || *p == u'/' || *p == u':') return true;
    return false;
}

}  // namespace

bool hasLanguageMarker(HMODULE module) {
    if (!module) return false;
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(10));
    if (!resource || SizeofResource(module, resource) < sizeof kMarker) return false;
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    return bytes && std::memcmp(bytes, kMarker, sizeof kMarker) == 0;
}

bool LanguageLibrary::isLanguageLibrary(const wchar_t* path) {
    HMODULE module = loadAsData(path);
    if (!module) return false;
    const bool marked = hasLanguageMarker(module);
    FreeLibrary(module);
    return marked;
}

LanguageLibrary::LanguageLibrary(const HeapString& programFolder) : programFolder_(programFolder) {}

LanguageLibrary::~LanguageLibrary() {
    unload();
}

void LanguageLibrary::unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
}

HMODULE LanguageLibrary::loadByName(const char16_t* name) const {
    if (!name || !*name || hasFolderPart(name)) return nullptr;
    HeapString path;
    if (!path.assign(programFolder_.c_str()) || !path.appendPath(name) || !path.append(u".dll"))
        return nullptr;
    return loadAsData(wide(path.c_str()));
}

HMODULE LanguageLibrary::loadWithFallbacks(HeapString& language, LANGID uiLanguage) const {
    HeapString name;
    if (language.empty()) {
        if (!name.assign(uiLanguage == kJapaneseUi ? kJapanese : kEnglish)) return nullptr;
    } else if (!name.assign(language.c_str(), language.length())) {
        return nullptr;
    }
    HMODULE module = loadByName(name.c_str());
    for (const char16_t* fallback : {kEnglish, kJapanese}) {
        if (module) break;
        module = loadByName(fallback);
        if (module && !name.assign(fallback)) {
            FreeLibrary(module);
            return nullptr;
        }
    }
    // The library that loaded must be one; no further fallback is tried.
    if (!module || !hasLanguageMarker(module)) {
        if (module) FreeLibrary(module);
        return nullptr;
    }
    language = std::move(name);
    return module;
}

bool LanguageLibrary::load(HeapString& language, LANGID uiLanguage) {
    unload();
    module_ = loadWithFallbacks(language, uiLanguage);
    return module_ != nullptr;
}

bool LanguageLibrary::switchTo(const char16_t* requested, HeapString& language, LANGID uiLanguage) {
    HeapString name;
    if (!name.assign(requested ? requested : u"")) return false;
    HMODULE module = loadWithFallbacks(name, uiLanguage);
    if (!module) return false;
    unload();
    module_ = module;
    language = std::move(name);
    return true;
}

UiText LanguageLibrary::text(UINT id) const {
    UiText result;
    if (module_) LoadStringW(module_, id, result.text, UiText::kCapacity);
    return result;
}

DialogTemplateCopy LanguageLibrary::dialogTemplate(WORD id, int32_t fontHeight) const {
    DialogTemplateCopy copy;
    if (!module_) return copy;
    HRSRC resource = FindResourceW(module_, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
    if (!resource) return copy;
    HGLOBAL loaded = LoadResource(module_, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes)
        copy.copyFrom(static_cast<const uint8_t*>(bytes), SizeofResource(module_, resource),
                      fontHeight);
    return copy;
}

int LanguageLibrary::listLanguages(const HeapString& current,
                                   std::vector<HeapString>& names) const {
    names.clear();
    HeapString pattern;
    if (!pattern.assign(programFolder_.c_str()) || !pattern.appendPath(u"*.dll")) return -1;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide(pattern.c_str()), &found);
    if (search == INVALID_HANDLE_VALUE) return -1;
    int currentIndex = -1;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        HeapString name;
        if (!baseNameOf(utf16(found.cFileName), name) || name.empty()) continue;
        const bool isCurrent = currentIndex < 0 && name.length() == current.length() &&
                               sameName(name.c_str(), current.c_str());
        if (!isCurrent) {
            HeapString path;
            if (!path.assign(programFolder_.c_str()) || !path.appendPath(utf16(found.cFileName)) ||
                !isLanguageLibrary(wide(path.c_str())))
                continue;
        } else {
            currentIndex = static_cast<int>(names.size());
        }
        names.push_back(std::move(name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return currentIndex;
}

}  // namespace app
