// The language library: choosing, validating and switching libraries, the
// language list, dialog templates and the UI font, against the real
// English.dll and Japanese.dll and a few test-only DLLs that are not
// language libraries.
#include "app/language_library.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/dialog_template.h"
#include "app/process_setup.h"
#include "app/text.h"
#include "app/ui_font.h"
#include "tests/windows/app/app_test_support.h"

namespace {

using apptest::copyInto;
using apptest::programFolder;
using apptest::testLibraryFolder;

std::string narrow(const HeapString& text) {
    std::string out;
    for (uint32_t i = 0; i < text.length(); ++i) out += static_cast<char>(text.at(i));
    return out;
}

HeapString heapPath(const std::filesystem::path& path) {
    return HeapString(app::utf16(path.c_str()));
}

// A program folder holding the named libraries: "English" is the real
// English.dll, "Japanese" the real Japanese.dll, "no_marker", "wrong_marker"
// and "short_marker" the test DLLs; each copied under the given file name.
struct LibraryFile {
    const char* source;
    const char* name;
};

std::filesystem::path sourceOf(const std::string& source) {
    if (source == "English" || source == "Japanese") return programFolder() / (source + ".dll");
    return testLibraryFolder() / (source + ".dll");
}

void populate(const std::filesystem::path& folder, const std::vector<LibraryFile>& files) {
    for (const LibraryFile& file : files) copyInto(sourceOf(file.source), folder, file.name);
}

TEST(LanguageLibraryTest, LoadChoosesTheLibraryAndItsFallbacks) {
    struct Case {
        std::vector<LibraryFile> files;
        const char16_t* setting;
        LANGID ui;
        bool loads;
        const char* language;  // the setting afterwards
        const char* textFrom;  // whose string 1000 is read
    };
    const Case cases[] = {
        {{{"English", "English.dll"}, {"Japanese", "Japanese.dll"}},
         u"",
         0x0409,
         true,
         "English",
         "English"},
        {{{"English", "English.dll"}, {"Japanese", "Japanese.dll"}},
         u"",
         0x0411,
         true,
         "Japanese",
         "Japanese"},
        // A Japanese user interface with only the English library.
        {{{"English", "English.dll"}}, u"", 0x0411, true, "English", "English"},
        {{{"Japanese", "Japanese.dll"}}, u"", 0x0409, true, "Japanese", "Japanese"},
        {{{"English", "English.dll"}, {"Japanese", "Japanese.dll"}},
         u"Japanese",
         0x0409,
         true,
         "Japanese",
         "Japanese"},
        {{{"English", "English.dll"}}, u"Klingon", 0x0409, true, "English", "English"},
        {{{"Japanese", "Deutsch.dll"}}, u"Deutsch", 0x0409, true, "Deutsch", "Japanese"},
        {{}, u"", 0x0409, false, "", nullptr},
        // Loaded but not a language library: no further fallback.
        {{{"no_marker", "English.dll"}, {"Japanese", "Japanese.dll"}},
         u"",
         0x0409,
         false,
         "",
         nullptr},
        {{{"no_marker", "Klingon.dll"}, {"English", "English.dll"}},
         u"Klingon",
         0x0409,
         false,
         "Klingon",
         nullptr},
        {{{"wrong_marker", "English.dll"}}, u"", 0x0409, false, "", nullptr},
        {{{"short_marker", "English.dll"}}, u"", 0x0409, false, "", nullptr},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        populate(folder.path(), c.files);
        const HeapString programFolderPath = heapPath(folder.path());
        app::LanguageLibrary library(programFolderPath);
        HeapString language(c.setting);
        const std::string label = "setting \"" + narrow(language) + "\", " +
                                  std::to_string(c.files.size()) + " files, ui " +
                                  std::to_string(c.ui);
        ASSERT_EQ(library.load(language, c.ui), c.loads) << label;
        EXPECT_EQ(library.loaded(), c.loads) << label;
        EXPECT_EQ(narrow(language), c.language) << label;
        if (c.textFrom)
            EXPECT_EQ(std::wstring(library.text(1000)),
                      apptest::libraryString(sourceOf(c.textFrom), 1000))
                << label;
        else
            EXPECT_EQ(std::wstring(library.text(1000)), L"") << label;
    }
}

TEST(LanguageLibraryTest, NamesWithAFolderPartNeverLeaveTheProgramFolder) {
    TempFolder root;
    std::filesystem::create_directory(root / "program");
    // A valid library one level up must not be reached.
    copyInto(programFolder() / "Japanese.dll", root.path(), "Outside.dll");
    copyInto(programFolder() / "English.dll", root / "program");
    const HeapString folder = heapPath(root / "program");
    for (const char16_t* name : {u"..\\Outside", u"../Outside", u"Z:Outside"}) {
        app::LanguageLibrary library(folder);
        HeapString language(name);
        ASSERT_TRUE(library.load(language, 0x0409));
        EXPECT_EQ(narrow(language), "English");
    }
}

TEST(LanguageLibraryTest, UnloadedLibraryGivesNoTextsAndNoTemplates) {
    const HeapString folder = heapPath(programFolder());
    app::LanguageLibrary library(folder);
    HeapString language(u"English");
    ASSERT_TRUE(library.load(language, 0x0409));
    EXPECT_NE(std::wstring(library.text(30000)), L"");
    EXPECT_TRUE(library.dialogTemplate(2000, -12).valid());
    library.unload();
    EXPECT_FALSE(library.loaded());
    EXPECT_EQ(std::wstring(library.text(30000)), L"");
    EXPECT_FALSE(library.dialogTemplate(2000, -12).valid());
}

TEST(LanguageLibraryTest, SwitchKeepsTheLibraryInUseUntilANewOneHasLoaded) {
    TempFolder folder;
    // "English" exists but is no language library; Japanese is fine.
    populate(folder.path(), {{"no_marker", "English.dll"}, {"Japanese", "Japanese.dll"}});
    const HeapString programFolderPath = heapPath(folder.path());
    app::LanguageLibrary library(programFolderPath);
    HeapString language(u"Japanese");
    ASSERT_TRUE(library.load(language, 0x0409));
    const std::wstring japanese = library.text(1006).text;
    ASSERT_NE(japanese, L"");

    // Nothing usable: the Japanese library stays in use, the setting stays.
    EXPECT_FALSE(library.switchTo(u"English", language, 0x0409));
    EXPECT_FALSE(library.switchTo(u"Missing", language, 0x0409));
    EXPECT_TRUE(library.loaded());
    EXPECT_EQ(narrow(language), "Japanese");
    EXPECT_EQ(std::wstring(library.text(1006)), japanese);

    // A real switch.
    copyInto(programFolder() / "English.dll", folder.path(), "Real English.dll");
    EXPECT_TRUE(library.switchTo(u"Real English", language, 0x0409));
    EXPECT_EQ(narrow(language), "Real English");
    EXPECT_EQ(std::wstring(library.text(1006)),
              apptest::libraryString(programFolder() / "English.dll", 1006));
}

TEST(LanguageLibraryTest, ListOffersLanguageLibrariesAndTheCurrentFileUntested) {
    TempFolder folder;
    populate(folder.path(), {{"English", "English.dll"},
                             {"Japanese", "Japanese.dll"},
                             {"no_marker", "Broken.dll"},
                             {"short_marker", "Current.dll"}});
    apptest::copyInto(programFolder() / "English.dll", folder.path(), "notes.txt");
    std::filesystem::create_directory(folder / "Folder.dll");
    const HeapString programFolderPath = heapPath(folder.path());
    app::LanguageLibrary library(programFolderPath);

    std::vector<HeapString> names;
    const int current = library.listLanguages(HeapString(u"current"), names);
    std::set<std::string> listed;
    for (const HeapString& name : names) listed.insert(narrow(name));
    EXPECT_EQ(listed, (std::set<std::string>{"Current", "English", "Japanese"}));
    ASSERT_GE(current, 0);
    EXPECT_EQ(narrow(names[current]), "Current");

    EXPECT_EQ(library.listLanguages(HeapString(u"Missing"), names), -1);
    EXPECT_EQ(names.size(), 2u);
}

TEST(LanguageLibraryTest, MarkerTest) {
    EXPECT_TRUE(app::LanguageLibrary::isLanguageLibrary((programFolder() / "English.dll").c_str()));
    EXPECT_TRUE(
        app::LanguageLibrary::isLanguageLibrary((programFolder() / "Japanese.dll").c_str()));
    for (const char* name : {"no_marker", "wrong_marker", "short_marker"})
        EXPECT_FALSE(app::LanguageLibrary::isLanguageLibrary(sourceOf(name).c_str())) << name;
    EXPECT_FALSE(
        app::LanguageLibrary::isLanguageLibrary((programFolder() / "Missing.dll").c_str()));
    // The program itself is a module, but no language library.
    EXPECT_FALSE(app::LanguageLibrary::isLanguageLibrary((programFolder() / "Pirex.exe").c_str()));
}

// ---- Dialog templates.

INT_PTR CALLBACK quietDialog(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

TEST(DialogTemplateTest, BothLibrariesGiveUsableTemplatesAtBothFontSizes) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    struct Dialog {
        WORD id;
        std::vector<int> controls;
    };
    const Dialog dialogs[] = {{2000, {2010, 2011, 2021, 2030, IDCANCEL}},
                              {2100, {2110, 2120, 2130, 2140, IDOK, IDCANCEL}}};
    for (const char16_t* name : {u"English", u"Japanese"}) {
        const HeapString folder = heapPath(programFolder());
        app::LanguageLibrary library(folder);
        HeapString language(name);
        ASSERT_TRUE(library.load(language, 0x0409));
        for (const Dialog& dialog : dialogs) {
            for (int32_t fontHeight : {-12, -14, -13}) {
                const std::string label = narrow(language) + " dialog " +
                                          std::to_string(dialog.id) + " height " +
                                          std::to_string(fontHeight);
                app::DialogTemplateCopy copy = library.dialogTemplate(dialog.id, fontHeight);
                ASSERT_TRUE(copy.valid()) << label;
                app::DialogTemplateLayout layout;
                ASSERT_TRUE(app::measureDialogTemplate(static_cast<const uint8_t*>(copy.data()),
                                                       copy.size(), layout))
                    << label;
                EXPECT_EQ(layout.size, copy.size()) << label;
                const auto* bytes = static_cast<const uint8_t*>(copy.data());
                const int points = bytes[layout.pointSizeOffset] | bytes[layout.pointSizeOffset + 1]
                                                                       << 8;
                EXPECT_EQ(points, fontHeight == -14 ? 11 : 9) << label;

                HWND window = CreateDialogIndirectParamW(
                    GetModuleHandleW(nullptr), static_cast<const DLGTEMPLATE*>(copy.data()),
                    nullptr, quietDialog, 0);
                ASSERT_NE(window, nullptr) << label;
                for (int id : dialog.controls)
                    EXPECT_NE(GetDlgItem(window, id), nullptr) << label << " control " << id;
                LOGFONTW font = {};
                GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)),
                           sizeof font, &font);
                HDC screen = GetDC(nullptr);
                const int expected = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
                ReleaseDC(nullptr, screen);
                EXPECT_EQ(font.lfHeight, expected) << label;
                DestroyWindow(window);
            }
        }
        EXPECT_FALSE(library.dialogTemplate(2001, -12).valid());
    }
}

// Builds extended templates field by field, recording where the point size
// goes and where the template ends.
class TemplateBuilder {
  public:
    TemplateBuilder& u16(uint16_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    TemplateBuilder& u32(uint32_t v) {
        return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16));
    }
    TemplateBuilder& text(const char16_t* s) {
        for (; *s; ++s) u16(*s);
        return u16(0);
    }
    TemplateBuilder& ordinal(uint16_t v) { return u16(0xFFFF).u16(v); }
    TemplateBuilder& align() {
        while (bytes.size() % 4) bytes.push_back(0);
        return *this;
    }
    TemplateBuilder& header(uint32_t style, uint16_t items) {
        return u16(1).u16(0xFFFF).u32(0).u32(0).u32(style).u16(items).u16(0).u16(0).u16(100).u16(
            50);
    }
    TemplateBuilder& font(uint16_t points, const char16_t* face) {
        pointSizeOffset = bytes.size();
        u16(points).u16(400);
        bytes.push_back(0);
        bytes.push_back(1);
        return text(face);
    }
    TemplateBuilder& item(uint32_t id, bool ordinalClass, const char16_t* title, uint16_t extra) {
        align().u32(0).u32(0).u32(WS_CHILD | WS_VISIBLE).u16(1).u16(2).u16(30).u16(10).u32(id);
        if (ordinalClass)
            ordinal(0x0080);
        else
            text(u"EDIT");
        if (title)
            text(title);
        else
            ordinal(7);
        u16(extra);
        for (uint16_t i = 0; i < extra; ++i) bytes.push_back(static_cast<uint8_t>(0xA0 + i));
        return *this;
    }

    std::vector<uint8_t> bytes;
    size_t pointSizeOffset = 0;
};

TEST(DialogTemplateTest, MeasureWalksHeaderFontAndItems) {
    constexpr uint32_t kSetFont = DS_SETFONT | WS_POPUP;
    struct Case {
        const char* name;
        TemplateBuilder built;
    };
    std::vector<Case> cases;
    {
        TemplateBuilder b;
        b.header(kSetFont, 0).u16(0).u16(0).text(u"T").font(8, u"Arial");
        cases.push_back({"no items", b});
    }
    {
        TemplateBuilder b;
        b.header(kSetFont | DS_MODALFRAME, 3).ordinal(5).text(u"MyClass").text(u"Title with words");
        b.font(10, u"MS Shell Dlg");
        b.item(1, true, u"OK", 0).item(2140, false, nullptr, 3).item(7, true, u"", 2);
        cases.push_back({"ordinals, strings, creation data", b});
    }
    {
        TemplateBuilder b;
        b.header(kSetFont, 1).u16(0).ordinal(0x8002).u16(0).font(9, u"");
        b.item(9, false, u"x", 1);
        cases.push_back({"empty title and face, odd creation data last", b});
    }
    for (const Case& c : cases) {
        const std::vector<uint8_t>& bytes = c.built.bytes;
        app::DialogTemplateLayout layout;
        ASSERT_TRUE(app::measureDialogTemplate(bytes.data(), bytes.size(), layout)) << c.name;
        EXPECT_EQ(layout.size, bytes.size()) << c.name;
        EXPECT_EQ(layout.pointSizeOffset, c.built.pointSizeOffset) << c.name;
        // Bytes after the template are not part of it.
        std::vector<uint8_t> padded = bytes;
        padded.resize(bytes.size() + 9, 0xEE);
        ASSERT_TRUE(app::measureDialogTemplate(padded.data(), padded.size(), layout)) << c.name;
        EXPECT_EQ(layout.size, bytes.size()) << c.name;
        // Every shorter resource is refused.
        for (size_t n = 0; n < bytes.size(); ++n)
            EXPECT_FALSE(app::measureDialogTemplate(bytes.data(), n, layout)) << c.name << " " << n;

        app::DialogTemplateCopy copy;
        ASSERT_TRUE(copy.copyFrom(padded.data(), padded.size(), -14)) << c.name;
        ASSERT_EQ(copy.size(), bytes.size());
        std::vector<uint8_t> expected = bytes;
        expected[c.built.pointSizeOffset] = 11;
        expected[c.built.pointSizeOffset + 1] = 0;
        EXPECT_EQ(std::vector<uint8_t>(static_cast<const uint8_t*>(copy.data()),
                                       static_cast<const uint8_t*>(copy.data()) + copy.size()),
                  expected)
            << c.name;
    }
}

TEST(DialogTemplateTest, MeasureRefusesOtherTemplates) {
    app::DialogTemplateLayout layout;
    TemplateBuilder noFont;
    noFont.header(WS_POPUP, 0).u16(0).u16(0).u16(0);
    EXPECT_FALSE(app::measureDialogTemplate(noFont.bytes.data(), noFont.bytes.size(), layout));

    TemplateBuilder classic;  // DLGTEMPLATE: no version and signature
    classic.u32(DS_SETFONT).u32(0).u16(0).u16(0).u16(0).u16(10).u16(10).u16(0).u16(0).u16(0);
    classic.u16(8).text(u"Arial");
    EXPECT_FALSE(app::measureDialogTemplate(classic.bytes.data(), classic.bytes.size(), layout));

    TemplateBuilder manyItems;  // claims 65535 items, holds one
    manyItems.header(DS_SETFONT, 0xFFFF).u16(0).u16(0).u16(0).font(9, u"A").item(1, true, u"", 0);
    EXPECT_FALSE(
        app::measureDialogTemplate(manyItems.bytes.data(), manyItems.bytes.size(), layout));

    TemplateBuilder hugeExtra;  // creation data longer than the resource
    hugeExtra.header(DS_SETFONT, 1).u16(0).u16(0).u16(0).font(9, u"A").item(1, true, u"", 0);
    hugeExtra.bytes[hugeExtra.bytes.size() - 2] = 0xFF;
    EXPECT_FALSE(
        app::measureDialogTemplate(hugeExtra.bytes.data(), hugeExtra.bytes.size(), layout));

    EXPECT_FALSE(app::measureDialogTemplate(nullptr, 100, layout));
    app::DialogTemplateCopy copy;
    EXPECT_FALSE(copy.copyFrom(noFont.bytes.data(), noFont.bytes.size(), -12));
    EXPECT_FALSE(copy.valid());
}

// ---- The OS class and the UI font.

TEST(ProcessSetupTest, OsClassFromVersion) {
    struct Case {
        DWORD major, minor;
        int osClass;
    };
    const Case cases[] = {{4, 0, 0}, {4, 90, 0}, {5, 0, 0},  {5, 1, 1}, {5, 2, 1},
                          {5, 3, 0}, {6, 0, 2},  {6, 1, 3},  {6, 2, 4}, {6, 3, 5},
                          {6, 4, 5}, {7, 0, 5},  {10, 0, 5}, {0, 0, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(app::classifyOsVersion(c.major, c.minor), c.osClass) << c.major << "." << c.minor;
    EXPECT_NE(app::currentOsClass(), 0);
}

TEST(ProcessSetupTest, ArgumentVectorSplitsLikeSendTo) {
    app::ArgumentVector arguments;
    ASSERT_TRUE(arguments.split(L"\"C:\\Program Files\\Pirex.exe\" \"Z:\\x y.jpg\" b.png"));
    ASSERT_EQ(arguments.count(), 3);
    EXPECT_EQ(std::wstring(arguments[1]), L"Z:\\x y.jpg");
    EXPECT_EQ(std::wstring(arguments[2]), L"b.png");
    arguments.release();
    EXPECT_EQ(arguments.count(), 0);
}

TEST(UiFontTest, DescriptionFollowsTheFontRules) {
    const LOGFONTW font =
        app::uiFontDescription(L"A face name that is far longer than thirty-one", -14);
    EXPECT_EQ(font.lfHeight, -14);
    EXPECT_EQ(font.lfWidth, 0);
    EXPECT_EQ(font.lfWeight, 400);
    EXPECT_EQ(font.lfItalic, 0);
    EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(font.lfPitchAndFamily, 0x22);
    EXPECT_EQ(std::wstring(font.lfFaceName), L"A face name that is far longer ");
    EXPECT_EQ(std::wstring(app::uiFontDescription(nullptr, -12).lfFaceName), L"");

    app::UiFont uiFont;
    ASSERT_TRUE(uiFont.create(L"Tahoma", -12));
    LOGFONTW created = {};
    GetObjectW(uiFont.handle(), sizeof created, &created);
    EXPECT_EQ(created.lfHeight, -12);
    EXPECT_EQ(std::wstring(created.lfFaceName), L"Tahoma");
}

}  // namespace
