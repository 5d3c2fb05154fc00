// What every language library must hold: the marker, every numbered string,
// the UI font face and the two dialog templates with their controls.
// <windows.h> comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>

#include "dialog_template.h"
#include "lang/resource_ids.h"
#include "language_module.h"

namespace langtest {
namespace {

struct Language {
    const wchar_t* name;
    bool japanese;
};

const Language kLanguages[] = {{L"English", false}, {L"Japanese", true}};

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::string printName(const testing::TestParamInfo<Language>& info) {
    return narrow(info.param.name);
}

class LanguageLibraryTest : public testing::TestWithParam<Language> {
  protected:
    LanguageLibraryTest() : library_(languageLibraryPath(GetParam().name)) {}
    void SetUp() override {
        ASSERT_NE(library_.get(), nullptr)
            << "cannot load " << narrow(languageLibraryPath(GetParam().name));
    }
    HMODULE module() const { return library_.get(); }

    LoadedLibrary library_;
};

TEST_P(LanguageLibraryTest, StartsWithThePirexMarker) {
    auto marker = resourceBytes(module(), IDR_LANGUAGE_MARKER, RT_RCDATA);
    ASSERT_GE(marker.size(), 6u);
    EXPECT_EQ(std::memcmp(marker.data(), "Pirex\0", 6), 0);
}

// Every string the program loads.  `words`: the text is language, so the
// Japanese library must not give it in ASCII (format names, the product name
// and the font face may be the same in every language).
struct StringEntry {
    UINT id;
    bool words;
};

const StringEntry kStrings[] = {
    {IDS_CONVERT_BMP, false},
    {IDS_CONVERT_PNG, false},
    {IDS_CONVERT_JPEG, false},
    {IDS_CONVERT_GIF, false},
    {IDS_CONVERT_JPEG_COPY, true},
    {IDS_CONVERT_RESIZE, true},
    {IDS_CONVERT_SETTINGS, true},
    {IDS_START_MODE_LABEL, true},
    {IDS_JPEG_GROUP, false},
    {IDS_JPEG_QUALITY, true},
    {IDS_JPEG_SUBSAMPLING, true},
    {IDS_JPEG_SIZE_LIMIT, true},
    {IDS_RESIZE_GROUP, true},
    {IDS_RESIZE_SWITCH, true},
    {IDS_RESIZE_BY_WIDTH, true},
    {IDS_RESIZE_BY_HEIGHT, true},
    {IDS_RESIZE_BY_LONGER_SIDE, true},
    {IDS_RESIZE_UNIT, true},
    {IDS_OUTPUT_GROUP, true},
    {IDS_OUTPUT_CHOOSE_FOLDER, true},
    {IDS_OUTPUT_CLEAR_FOLDER, true},
    {IDS_OUTPUT_NO_FOLDER, true},
    {IDS_OUTPUT_SUB_FOLDER, true},
    {IDS_SEND_TO_SHORTCUT, true},
    {IDS_TRANSPARENCY_GROUP, true},
    {IDS_KEEP_TRANSPARENCY, true},
    {IDS_OPTIONS_BUTTON, true},
    {IDS_SAVE_AND_CLOSE, true},
    {IDS_HELP_BUTTON, true},
    {IDS_ABOUT_BUTTON, true},
    {IDS_ALWAYS_ON_TOP, true},
    {IDS_UI_FONT_FACE, false},
    {IDS_FOLDER_CHOOSER_TITLE, true},
    {IDS_ABOUT_CAPTION, true},
    {IDS_PLUGIN_COLUMN_FILE, true},
    {IDS_PLUGIN_COLUMN_TYPES, true},
    {IDS_PLUGIN_COLUMN_DESCRIPTION, true},
    {IDS_START_MODE_ASK, true},
    {IDS_START_MODE_BMP, false},
    {IDS_START_MODE_PNG, false},
    {IDS_START_MODE_JPEG, false},
    {IDS_START_MODE_GIF, false},
    {IDS_START_MODE_JPEG_COPY, true},
    {IDS_ERROR_TITLE, false},
    {IDS_ERROR_OUT_OF_MEMORY, true},
    {IDS_ERROR_NOTHING_CONVERTED, true},
    {IDS_ERROR_NO_OUTPUT_FOLDER, true},
    {IDS_ERROR_SUB_FOLDER, true},
    {IDS_PROGRESS_CAPTION, true},
    {IDS_PROGRESS_COUNT, true},
    {IDS_PROGRESS_CANCEL, true},
    {IDS_PROGRESS_CANCELLING, true},
    {IDS_PROGRESS_CLOSE, true},
    {IDS_PROGRESS_FAILURES, true},
    {IDS_PROGRESS_DONE_CAPTION, true},
    {IDS_PROGRESS_FAILED_LINE, false},
    {IDS_FAILURE_NOT_A_PICTURE, true},
    {IDS_FAILURE_CANNOT_READ, true},
    {IDS_FAILURE_RESIZE, true},
    {IDS_FAILURE_ENCODE, true},
    {IDS_FAILURE_LOSSLESS, true},
    {IDS_FAILURE_NO_FREE_NAME, true},
    {IDS_FAILURE_COPY, true},
    {IDS_FAILURE_NOT_JPEG, true},
    {IDS_FAILURE_WITH_DETAIL, false},
    {IDS_CODEC_STATUS_OTHER, true},
    {IDS_CODEC_STATUS_BASE + 1, true},
    {IDS_CODEC_STATUS_BASE + 2, true},
    {IDS_CODEC_STATUS_BASE + 4, true},
    {IDS_CODEC_STATUS_BASE + 5, true},
    {IDS_CODEC_STATUS_BASE + 6, true},
    {IDS_CODEC_STATUS_BASE + 7, true},
    {IDS_CODEC_STATUS_BASE + 8, true},
    {IDS_CODEC_STATUS_BASE + 9, true},
    {IDS_CODEC_STATUS_BASE + 10, true},
    {IDS_CODEC_STATUS_BASE + 11, true},
    {IDS_CODEC_STATUS_BASE + 12, true},
    {IDS_CODEC_STATUS_BASE + 13, true},
    {IDS_CODEC_STATUS_BASE + 14, true},
    {IDS_CODEC_STATUS_BASE + 16, true},
    {IDS_CODEC_STATUS_BASE + 17, true},
    {IDS_CODEC_STATUS_BASE + 18, true},
    {IDS_CODEC_STATUS_BASE + 19, true},
    {IDS_CODEC_STATUS_BASE + 20, true},
    {IDS_CODEC_STATUS_BASE + 22, true},
    {IDS_CODEC_STATUS_BASE + 23, true},
    {IDS_CODEC_STATUS_BASE + 24, true},
};

// Captions of the settings window's labels, check boxes, radio buttons and
// push buttons: the ones a mnemonic may mark.
bool takesMnemonic(UINT id) {
    return id >= IDS_START_MODE_LABEL && id <= IDS_ABOUT_BUTTON && id != IDS_OUTPUT_NO_FOLDER;
}

TEST_P(LanguageLibraryTest, EveryStringLoadsWhole) {
    for (const StringEntry& entry : kStrings) {
        SCOPED_TRACE(testing::Message() << "string " << entry.id);
        std::wstring text = loadString(module(), entry.id);
        ASSERT_FALSE(text.empty());
        // The program reads strings into 260-character buffers: nothing may
        // be cut off.
        EXPECT_EQ(storedStringLength(module(), entry.id), text.size());
        EXPECT_LT(text.size(), 260u);
        // An ampersand is a mnemonic marker in a control's caption: once,
        // before an ASCII letter, and in Japanese as "(&X)" after the words.
        // Anywhere else a static control would swallow it.
        const size_t mark = text.find(L'&');
        if (mark != std::wstring::npos) {
            EXPECT_TRUE(takesMnemonic(entry.id)) << narrow(text);
            EXPECT_EQ(text.find(L'&', mark + 1), std::wstring::npos) << narrow(text);
            ASSERT_LT(mark + 1, text.size());
            EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(text[mark + 1])) &&
                        text[mark + 1] < 0x80)
                << narrow(text);
            if (GetParam().japanese) {
                EXPECT_TRUE(mark >= 1 && text[mark - 1] == L'(' && mark + 2 < text.size() &&
                            text[mark + 2] == L')')
                    << narrow(text);
            }
        }
        bool ascii = std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; });
        if (GetParam().japanese && entry.words) {
            EXPECT_FALSE(ascii) << narrow(text);
        }
        // Plain ASCII in English: catches text pasted in from the other library.
        if (!GetParam().japanese) {
            EXPECT_TRUE(ascii) << "unexpected characters in English text";
        }
    }
}

TEST_P(LanguageLibraryTest, FontFaceFitsALogFont) {
    std::wstring face = loadString(module(), IDS_UI_FONT_FACE);
    EXPECT_FALSE(face.empty());
    EXPECT_LE(face.size(), static_cast<size_t>(LF_FACESIZE - 1));
}

// Expected controls: id, window class, and a test of the style.
struct ExpectedControl {
    uint32_t id;
    const wchar_t* windowClass;
    uint32_t styleMask;
    uint32_t styleValue;
    uint32_t alternativeValue;  // a second accepted value under the mask
};

constexpr uint32_t kButtonType = 0x0F;
const ExpectedControl kOptionsControls[] = {
    {IDC_DESKTOP_SHORTCUT, L"Button", kButtonType, BS_AUTOCHECKBOX, BS_AUTOCHECKBOX},
    {IDC_PLUGINS_BUTTON, L"Button", kButtonType, BS_PUSHBUTTON, BS_DEFPUSHBUTTON},
    {IDC_LANGUAGE_LIST, L"ComboBox", 0x3 | WS_VSCROLL, CBS_DROPDOWNLIST | WS_VSCROLL,
     CBS_DROPDOWNLIST | WS_VSCROLL},
    {IDC_LARGE_FONT, L"Button", kButtonType, BS_AUTOCHECKBOX, BS_AUTOCHECKBOX},
    {IDCANCEL, L"Button", kButtonType, BS_PUSHBUTTON, BS_DEFPUSHBUTTON},
};
const ExpectedControl kPluginControls[] = {
    {IDC_PLUGIN_FOLDER, L"Edit", 0, 0, 0},
    {IDC_PLUGIN_CHOOSE_FOLDER, L"Button", kButtonType, BS_PUSHBUTTON, BS_DEFPUSHBUTTON},
    {IDC_PLUGIN_CLEAR_FOLDER, L"Button", kButtonType, BS_PUSHBUTTON, BS_DEFPUSHBUTTON},
    {IDC_PLUGIN_LIST, L"SysListView32", LVS_TYPEMASK, LVS_REPORT, LVS_REPORT},
    {IDOK, L"Button", kButtonType, BS_PUSHBUTTON, BS_DEFPUSHBUTTON},
    {IDCANCEL, L"Button", kButtonType, BS_PUSHBUTTON, BS_DEFPUSHBUTTON},
};

struct TemplateCase {
    UINT id;
    std::span<const ExpectedControl> controls;
};

const TemplateCase kTemplates[] = {{IDD_OPTIONS, kOptionsControls}, {IDD_PLUGINS, kPluginControls}};

// The part of an item that shows: a drop-down list's template height
// includes its dropped list.
RECT visibleRect(const DialogItem& item) {
    int height = item.cy;
    if (_wcsicmp(className(item.windowClass).c_str(), L"ComboBox") == 0) {
        height = std::min(height, 14);
    }
    return {item.x, item.y, item.x + item.cx, item.y + height};
}

TEST_P(LanguageLibraryTest, DialogTemplatesHoldTheirControls) {
    std::wstring face = loadString(module(), IDS_UI_FONT_FACE);
    for (const TemplateCase& expected : kTemplates) {
        SCOPED_TRACE(testing::Message() << "template " << expected.id);
        auto bytes = resourceBytes(module(), expected.id, RT_DIALOG);
        ASSERT_FALSE(bytes.empty());
        auto dialog = readDialogTemplate(bytes);
        ASSERT_TRUE(dialog.has_value()) << "not a complete extended template with DS_SETFONT";
        EXPECT_EQ(dialog->version, 1);
        EXPECT_EQ(dialog->signature, 0xFFFF);
        EXPECT_TRUE(dialog->style & DS_SETFONT);
        EXPECT_LE(dialog->totalSize, bytes.size());
        EXPECT_FALSE(dialog->title.empty());
        // Dialogs use the same face as the program's windows.
        EXPECT_EQ(dialog->typeface, face);
        EXPECT_EQ(dialog->weight, FW_NORMAL);

        std::map<uint32_t, const DialogItem*> byId;
        for (const DialogItem& item : dialog->items) {
            if (item.id != 0xFFFF && item.id != 0xFFFFFFFF) {
                EXPECT_TRUE(byId.emplace(item.id, &item).second) << "id " << item.id << " twice";
            }
        }
        for (const ExpectedControl& control : expected.controls) {
            SCOPED_TRACE(testing::Message() << "control " << control.id);
            auto found = byId.find(control.id);
            ASSERT_NE(found, byId.end()) << "missing";
            const DialogItem& item = *found->second;
            // Class names are case-insensitive; the resource compiler writes them in capitals.
            EXPECT_EQ(_wcsicmp(className(item.windowClass).c_str(), control.windowClass), 0)
                << narrow(className(item.windowClass));
            uint32_t style = item.style & control.styleMask;
            EXPECT_TRUE(style == control.styleValue || style == control.alternativeValue)
                << std::hex << "style 0x" << item.style;
            EXPECT_TRUE(item.style & WS_VISIBLE);
        }

        // Every control lies inside the dialog and none covers another.
        for (size_t i = 0; i < dialog->items.size(); ++i) {
            RECT a = visibleRect(dialog->items[i]);
            EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.right <= dialog->cx &&
                        a.bottom <= dialog->cy)
                << "item " << i << " leaves the dialog";
            for (size_t j = i + 1; j < dialog->items.size(); ++j) {
                RECT b = visibleRect(dialog->items[j]);
                RECT overlap;
                EXPECT_FALSE(IntersectRect(&overlap, &a, &b)) << "items " << i << " and " << j;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Libraries, LanguageLibraryTest, testing::ValuesIn(kLanguages), printName);

}  // namespace
}  // namespace langtest
