// Captions fit their controls: the two dialogs as the dialog manager builds
// them at 9 and 11 pt, and the settings and convert windows' texts measured
// with the UI font (-12 and -14) against the pixel layout those windows use.
// <windows.h> comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "lang/resource_ids.h"
#include "language_module.h"
#include "text_measure.h"

namespace langtest {
namespace {

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

struct FitCase {
    const wchar_t* language;
    int pointSize;   // dialogs
    int fontHeight;  // the program's windows
};

const FitCase kCases[] = {
    {L"English", 9, -12}, {L"English", 11, -14}, {L"Japanese", 9, -12}, {L"Japanese", 11, -14}};

std::string caseName(const testing::TestParamInfo<FitCase>& info) {
    return narrow(info.param.language) + (info.param.fontHeight == -14 ? "Large" : "Normal");
}

INT_PTR CALLBACK quietDialog(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

struct Child {
    HWND window;
    std::wstring windowClass;
    std::wstring text;
};

BOOL CALLBACK collectChild(HWND window, LPARAM children) {
    wchar_t windowClass[64] = {};
    wchar_t text[512] = {};
    GetClassNameW(window, windowClass, 64);
    GetWindowTextW(window, text, 512);
    reinterpret_cast<std::vector<Child>*>(children)->push_back({window, windowClass, text});
    return TRUE;
}

class LayoutFitTest : public testing::TestWithParam<FitCase> {
  protected:
    LayoutFitTest() : library_(languageLibraryPath(GetParam().language)) {}
    void SetUp() override {
        ASSERT_NE(library_.get(), nullptr);
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
    }
    HMODULE module() const { return library_.get(); }
    std::wstring text(UINT id) const { return loadString(module(), id); }

    LoadedLibrary library_;
};

// Builds the dialog from a copy of its template with the point size the
// program would patch in, and checks every caption against its control.
void checkDialogCaptionsFit(HMODULE module, UINT templateId, int pointSize) {
    SCOPED_TRACE(testing::Message() << "template " << templateId << " at " << pointSize << " pt");
    auto bytes = resourceBytes(module, templateId, RT_DIALOG);
    auto dialogTemplate = readDialogTemplate(bytes);
    ASSERT_TRUE(dialogTemplate.has_value());
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    copy[dialogTemplate->pointSizeOffset] = static_cast<uint8_t>(pointSize);
    copy[dialogTemplate->pointSizeOffset + 1] = 0;

    HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                             reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()),
                                             nullptr, quietDialog, 0);
    ASSERT_NE(dialog, nullptr);
    std::vector<Child> children;
    EnumChildWindows(dialog, collectChild, reinterpret_cast<LPARAM>(&children));

    std::vector<std::wstring> captions;
    for (const Child& child : children) captions.push_back(child.text);
    TextMeasure measure(fontOf(dialog), captions);
    ASSERT_TRUE(measure.valid()) << "no installed font has every glyph of these captions";
    testing::Test::RecordProperty("dialog_font", narrow(measure.faceUsed()));

    const int checkRoom = GetSystemMetrics(SM_CXMENUCHECK) + 8;
    RECT dialogClient;
    GetClientRect(dialog, &dialogClient);
    for (const Child& child : children) {
        if (child.text.empty()) continue;
        bool isStatic = child.windowClass == L"Static";
        if (!isStatic && child.windowClass != L"Button") continue;
        SCOPED_TRACE(narrow(child.text));
        RECT client;
        GetClientRect(child.window, &client);
        int available = client.right;
        LONG type = GetWindowLongW(child.window, GWL_STYLE) & BS_TYPEMASK;
        if (!isStatic) {
            if (type == BS_GROUPBOX) {
                available -= 16;
            } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                       type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE) {
                available -= checkRoom;
            } else {
                available -= 8;  // push button frame and focus rectangle
            }
        }
        SIZE needed = measure.drawnSize(child.text, isStatic ? available : 0);
        EXPECT_LE(needed.cx, available);
        EXPECT_LE(needed.cy, client.bottom);
        // Inside the dialog's client area.
        RECT inDialog;
        GetWindowRect(child.window, &inDialog);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&inDialog), 2);
        EXPECT_TRUE(inDialog.left >= 0 && inDialog.top >= 0 &&
                    inDialog.right <= dialogClient.right && inDialog.bottom <= dialogClient.bottom);
    }
    DestroyWindow(dialog);
}

TEST_P(LayoutFitTest, OptionsDialogCaptionsFit) {
    checkDialogCaptionsFit(module(), IDD_OPTIONS, GetParam().pointSize);
}

TEST_P(LayoutFitTest, PluginDialogCaptionsFit) {
    checkDialogCaptionsFit(module(), IDD_PLUGINS, GetParam().pointSize);
}

// One rule of the windows' pixel layout: what the texts need, and the room
// the layout gives them.
struct Room {
    const char* what;
    int needed;
    int available;
};

TEST_P(LayoutFitTest, WindowCaptionsFitTheirPixelLayout) {
    LOGFONTW uiFont = {};
    uiFont.lfHeight = GetParam().fontHeight;
    uiFont.lfWeight = FW_NORMAL;
    uiFont.lfCharSet = DEFAULT_CHARSET;
    uiFont.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    std::wstring face = text(IDS_UI_FONT_FACE);
    wcsncpy(uiFont.lfFaceName, face.c_str(), LF_FACESIZE - 1);

    std::vector<std::wstring> all;
    for (UINT id :
         {1000, 1001, 1002, 1003, 1004,  1005,  1006,  1010,  1020,  1021,  1024,  1027,  1040,
          1041, 1042, 1043, 1044, 1046,  1050,  1051,  1052,  1053,  1054,  1060,  1070,  1071,
          1090, 1091, 1092, 1093, 20100, 20101, 20102, 21000, 21001, 21002, 21003, 21004, 21005}) {
        all.push_back(text(id));
    }
    TextMeasure measure(uiFont, all);
    ASSERT_TRUE(measure.valid()) << "no installed font has every glyph of these captions";
    RecordProperty("window_font", narrow(measure.faceUsed()));
    // A caption's mnemonic marker is not drawn.
    auto tw = [&](UINT id) {
        std::wstring shown = text(id);
        if (const size_t mark = shown.find(L'&'); mark != std::wstring::npos) shown.erase(mark, 1);
        return measure.width(shown);
    };
    auto twText = [&](const wchar_t* s) { return measure.width(s); };
    const int sb = GetSystemMetrics(SM_CXVSCROLL);
    const int ck = GetSystemMetrics(SM_CXMENUCHECK) + 8;
    const int buttonMargin = 8;

    // The JPEG row's total width, as the settings window computes it.
    const int jpegRow = twText(L"4:1") + tw(1021) + twText(L"000") + tw(1024) + twText(L"0000") +
                        twText(L"KB") + 2 + tw(1027) + ck + 3 * sb + 42;
    // The resize row, left to right.
    const int resizeRadios = (tw(1041) + ck) + 31 + (tw(1042) + ck) + 4 + (tw(1043) + ck) + 4 +
                             (tw(1044) + ck) + 8 + (twText(L"0000") + 15) + 3 + tw(1046) + 2;
    const int longestMode = std::max(tw(21000), tw(21005));
    int otherModes = 0;
    for (UINT id = 21001; id <= 21004; ++id) otherModes = std::max(otherModes, tw(id));

    // In the XML report: how much room the tightest rows have left.
    testing::Test::RecordProperty("jpeg_row_width", jpegRow);
    testing::Test::RecordProperty("resize_row_end", 15 + resizeRadios);
    const Room rooms[] = {
        // Convert window: 64 x 24 buttons, the wide lossless button, a
        // 106-pixel check box, the settings button.
        {"BMP button", tw(1000), 64 - buttonMargin},
        {"PNG button", tw(1001), 64 - buttonMargin},
        {"JPEG button", tw(1002), 64 - buttonMargin},
        {"GIF button", tw(1003), 64 - buttonMargin},
        {"lossless JPEG button", tw(1004), 133 - buttonMargin},
        {"resize check box", tw(1005) + ck, 106},
        {"settings button", tw(1006), 85 - buttonMargin},
        // Settings window.  The start-mode list ends before the
        // transparency group at x 243.
        {"start-mode row", tw(1010) + 18 + sb + longestMode + 10, 243 - 5},
        {"start-mode entries within the list", otherModes, longestMode},
        {"transparency group caption", tw(1070) + 16, 258},
        {"keep-transparency check box", 253 + tw(1071) + ck, 243 + 258 - 8},
        {"JPEG group caption", tw(1020) + 16, 496},
        {"JPEG row with margins", jpegRow, 486},
        {"resize group caption", tw(1040) + 16, 496},
        {"resize row", 15 + resizeRadios, 496},
        {"output group caption", tw(1050) + 16, 496},
        {"no-folder text in the folder field", tw(1053), 368 - buttonMargin},
        // A push button grows past its designed width for a longer caption,
        // away from the edge it is aligned to: the folder buttons into the
        // folder field (which keeps 200 pixels), the bottom row's into the
        // gaps between them (2 pixels stay).
        {"choose- and clear-folder buttons",
         std::max(54, tw(1051) + buttonMargin) + std::max(54, tw(1052) + buttonMargin),
         491 - 15 - 200},
        {"sub-folder check box and its 200-pixel edit", tw(1054) + ck + 18 + 200, 496},
        {"Send To check box", 15 + tw(1060) + ck, 496},
        {"options button", tw(1090), 120 - buttonMargin},
        {"save-and-close button", tw(1091) + buttonMargin, 356 - 135 - 2},
        {"help button", tw(1092) + buttonMargin, 436 - 356 - 2},
        {"About button", tw(1093) + buttonMargin, 496 - 436 - 2},
        // Plug-in list columns of 100 and 135 pixels (header padding).
        {"plug-in column heading", tw(20100) + 12, 100},
        {"file-types column heading", tw(20101) + 12, 135},
    };
    for (const Room& room : rooms) {
        EXPECT_LE(room.needed, room.available) << room.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Libraries, LayoutFitTest, testing::ValuesIn(kCases), caseName);

}  // namespace
}  // namespace langtest
