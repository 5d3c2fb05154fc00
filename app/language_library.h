// The language library: a resource-only DLL next to the program, one per
// language, named after it ("English.dll"). It supplies every text of the
// windows, the UI font's face name and the dialog templates, and carries a
// marker (RCDATA 1 starting with "Pirex" and a NUL) that tells it apart from
// any other DLL.
//
// Libraries are mapped as data files from the program's folder only: no code
// of theirs runs, and a language name cannot reach a DLL elsewhere.
#pragma once

#include <windows.h>

#include <vector>

#include "app/dialog_template.h"
#include "core/heap_string.h"

namespace app {

// One string of the library, in a buffer of 260 characters.
struct UiText {
    static constexpr int kCapacity = 260;
    wchar_t text[kCapacity] = {};
    operator const wchar_t*() const { return text; }
};

class LanguageLibrary {
  public:
    // `programFolder` is where the libraries are looked for.
    explicit LanguageLibrary(const HeapString& programFolder);
    ~LanguageLibrary();
    LanguageLibrary(const LanguageLibrary&) = delete;
    LanguageLibrary& operator=(const LanguageLibrary&) = delete;

    // The start-up load. An empty `language` becomes "Japanese" on a Japanese
    // user interface (0x0411), else "English". When that library cannot be
    // loaded, "English" and then "Japanese" are tried and the first that loads
    // becomes `language`. The loaded library must carry the marker.
    bool load(HeapString& language, LANGID uiLanguage);

    // A switch at run time: the same search for `requested`, but the library
    // in use stays loaded (and `language` unchanged) until a new one has
    // loaded and passed the marker test. False when nothing changed.
    bool switchTo(const char16_t* requested, HeapString& language, LANGID uiLanguage);

    // The program is closing: later texts are empty, templates missing.
    void unload();
    bool loaded() const { return module_ != nullptr; }

    // String `id`, truncated to 259 characters; empty when missing or unloaded.
    UiText text(UINT id) const;
    // Dialog template `id` with its point size patched for `fontHeight`;
    // invalid when missing or malformed.
    DialogTemplateCopy dialogTemplate(WORD id, int32_t fontHeight) const;

    // The libraries of the program folder for the language list, in the order
    // the system returns the files: the current language's file by name alone,
    // every other DLL only when it passes the marker test. Returns the index
    // of the current language, or -1.
    int listLanguages(const HeapString& current, std::vector<HeapString>& names) const;

    // Is the file at `path` a language library?
    static bool isLanguageLibrary(const wchar_t* path);

  private:
    // The library called `name` in the program folder, loaded as data, or
    // null; names with a folder or drive part are refused.
    HMODULE loadByName(const char16_t* name) const;
    // Loads `language` (defaulted) or a fallback, checks the marker.
    HMODULE loadWithFallbacks(HeapString& language, LANGID uiLanguage) const;

    const HeapString& programFolder_;
    HMODULE module_ = nullptr;
};

// The marker test on a loaded module.
bool hasLanguageMarker(HMODULE module);

}  // namespace app
