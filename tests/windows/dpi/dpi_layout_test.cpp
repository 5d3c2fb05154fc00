// The program's windows at the display's DPI. run_dpi_test.sh runs this
// test once at 96 DPI, where it writes every control's rectangle to the
// reference file, then at 120, 144 and 192 DPI, where every rectangle must be
// the reference scaled by dpi / 96 (within a pixel) and every caption must
// fit its control in the control's own font.
#include <windows.h>
// After windows.h:
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/windows/dpi/dpi_program.h"

namespace {

namespace fs = std::filesystem;

using dpitest::becomeDpiAware;
using dpitest::Case;
using dpitest::expectedDpi;
using dpitest::kDesignDpi;
using dpitest::placeOf;

// The settings window's controls (a number edit stands for itself and its
// up-down, which sizes itself inside the edit), then the convert window's.
constexpr int kSettingsControls[] = {1010, 1011, 1070, 1071, 1020, 1021, 1022, 1024, 1025, 1027,
                                     1028, 1030, 1040, 1041, 1042, 1043, 1044, 1045, 1046, 1050,
                                     1053, 1051, 1052, 1054, 1055, 1060, 1090, 1091, 1092, 1093};
// Drop-down lists: their closed height is the one their font gives them.
constexpr int kLists[] = {1011, 1025};
constexpr int kConvertControls[] = {1000, 1001, 1002, 1003, 1004, 1005, 1006};

constexpr Case kCases[] = {
    {u"English", -12}, {u"English", -14}, {u"Japanese", -12}, {u"Japanese", -14}};

fs::path referenceFile() {
    return apptest::folderFromEnvironment("MORAVEL_DPI_REFERENCE");
}

std::wstring textOf(HWND window) {
    wchar_t text[300] = {};
    GetWindowTextW(window, text, 300);
    return text;
}

// A number edit together with the up-down inside its right edge.
RECT placeWithUpDown(HWND parent, int id) {
    RECT box = placeOf(parent, GetDlgItem(parent, id));
    if (id == 1022 || id == 1028) {
        const RECT upDown = placeOf(parent, GetDlgItem(parent, id + 1));
        UnionRect(&box, &box, &upDown);
    }
    return box;
}

// The width of an icon's colour bitmap; 0 when there is none.
int iconWidth(ULONG_PTR handle) {
    ICONINFO info = {};
    if (!handle || !GetIconInfo(reinterpret_cast<HICON>(handle), &info)) return 0;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// "case window id" -> rectangle, with the client areas as id 0.
using Places = std::map<std::string, RECT>;

class DpiLayoutTest : public ::testing::Test {
  protected:
    // `everythingEnabled`: the size limit and the resize switch on, so that
    // no control is disabled.
    void start(const Case& c, bool everythingEnabled = false) {
        ASSERT_TRUE(program.start(c, [&](Settings& settings) {
            if (everythingEnabled) settings.jpegSizeLimitOn = settings.resizeOn = 1;
        }));
    }
    void TearDown() override { program.stop(); }

    dpitest::Program program;
};

// Every control's rectangle, and the client area's, of both windows.
void collect(HWND window, const std::string& key, const int* ids, size_t count, Places& places) {
    RECT client = {};
    GetClientRect(window, &client);
    places[key + " 0"] = client;
    for (size_t i = 0; i < count; ++i)
        places[key + " " + std::to_string(ids[i])] = placeWithUpDown(window, ids[i]);
}

// No caption wider than its control (a check box's or radio button's with
// its check mark); edits scroll, lists drop down wider.
void expectCaptionsFit(HWND window, const int* ids, size_t count, int dpi) {
    for (size_t i = 0; i < count; ++i) {
        HWND control = GetDlgItem(window, ids[i]);
        wchar_t kind[32] = {};
        GetClassNameW(control, kind, 32);
        if (_wcsicmp(kind, L"Button") != 0 && _wcsicmp(kind, L"Static") != 0) continue;
        const LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
        const bool checkable = _wcsicmp(kind, L"Button") == 0 &&
                               (type == BS_AUTOCHECKBOX || type == BS_AUTORADIOBUTTON);
        using MetricsForDpi = int(WINAPI*)(int, UINT);
        const auto metric = reinterpret_cast<MetricsForDpi>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
        const int check = checkable ? metric(SM_CXMENUCHECK, dpi) : 0;
        const RECT box = placeOf(window, control);
        RECT client = {};
        GetClientRect(window, &client);
        EXPECT_TRUE(box.right <= client.right && box.bottom <= client.bottom) << ids[i];
        std::wstring caption = textOf(control);
        std::erase(caption, L'&');
        EXPECT_LE(apptest::textWidthIn(control, caption) + check, box.right - box.left)
            << ids[i] << " \"" << std::string(caption.begin(), caption.end()) << "\"";
    }
}

// Every rectangle of `actual` is its `design` one scaled for `dpi`. Heights
// and vertical places are the design's scaled. A caption measured in the
// scaled font may be a little wider than the 96-DPI one scaled, and the
// controls of its row move by as much (the JPEG row stays centred):
// horizontal edges lie within 3 % of the window's width of the scaled design.
void expectScaled(const Places& design, const Places& actual, int dpi) {
    for (const auto& [key, designed] : design) {
        const auto found = actual.find(key);
        ASSERT_NE(found, actual.end()) << key;
        const RECT& box = found->second;
        const std::string window = key.substr(0, key.rfind(' '));
        const std::string id = key.substr(key.rfind(' ') + 1);
        const bool list = std::find(std::begin(kLists), std::end(kLists), std::atoi(id.c_str())) !=
                          std::end(kLists);
        const int slack = MulDiv(actual.at(window + " 0").right, 3, 100);
        const auto scaled = [&](LONG edge) { return MulDiv(edge, dpi, kDesignDpi); };
        EXPECT_NEAR(box.left, scaled(designed.left), 1 + slack) << key;
        EXPECT_NEAR(box.right, scaled(designed.right), 1 + (id == "0" ? 0 : slack)) << key;
        EXPECT_NEAR(box.top, scaled(designed.top), 1) << key;
        if (!list) {
            EXPECT_NEAR(box.bottom, scaled(designed.bottom), 1) << key;
        }
    }
}

TEST_F(DpiLayoutTest, EveryRectangleIsTheDesignScaledAndEveryCaptionFits) {
    const int dpi = expectedDpi();
    ASSERT_GT(dpi, 0) << "run through run_dpi_test.sh";
    becomeDpiAware();
    Places places;
    for (const Case& c : kCases) {
        const std::string name =
            std::string(c.language, c.language + (c.language[0] == u'E' ? 7 : 8)) +
            std::to_string(c.fontHeight);
        SCOPED_TRACE(name);
        start(c);
        HWND settings = program->settingsWindow().hwnd();
        HWND convert = program->convertWindow().hwnd();
        ASSERT_TRUE(settings && convert);
        // The display really is at the DPI this run is for.
        using DpiForWindow = UINT(WINAPI*)(HWND);
        const auto forWindow = reinterpret_cast<DpiForWindow>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
        ASSERT_NE(forWindow, nullptr);
        EXPECT_EQ(static_cast<int>(forWindow(settings)), dpi);
        // The font is the stored height made for this DPI.
        LOGFONTW font = {};
        GetObjectW(program->uiFont(), sizeof font, &font);
        EXPECT_EQ(font.lfHeight, c.fontHeight * dpi / kDesignDpi);

        // The window's icons are the sizes this DPI asks for (the class's
        // icon loads at the default size, which follows the DPI once the
        // process is DPI aware; the small one is made from the resource).
        using MetricsForDpi = int(WINAPI*)(int, UINT);
        const auto metric = reinterpret_cast<MetricsForDpi>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
        ASSERT_NE(metric, nullptr);
        EXPECT_EQ(iconWidth(GetClassLongPtrW(convert, GCLP_HICON)), metric(SM_CXICON, dpi));
        EXPECT_EQ(iconWidth(GetClassLongPtrW(convert, GCLP_HICONSM)), metric(SM_CXSMICON, dpi));
        collect(settings, name + " settings", kSettingsControls, std::size(kSettingsControls),
                places);
        collect(convert, name + " convert", kConvertControls, std::size(kConvertControls), places);
        expectCaptionsFit(settings, kSettingsControls, std::size(kSettingsControls), dpi);
        expectCaptionsFit(convert, kConvertControls, std::size(kConvertControls), dpi);
        program.reset();
        apptest::drainMessages();
    }

    if (dpi == kDesignDpi) {
        std::ofstream out(referenceFile());
        for (const auto& [key, box] : places)
            out << key << ' ' << box.left << ' ' << box.top << ' ' << box.right << ' ' << box.bottom
                << '\n';
        ASSERT_TRUE(out.good());
        return;
    }
    std::ifstream in(referenceFile());
    ASSERT_TRUE(in.good()) << "no reference from the 96-DPI run";
    Places design;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string language, window, id;
        RECT designed = {};
        words >> language >> window >> id >> designed.left >> designed.top >> designed.right >>
            designed.bottom;
        design[language + " " + window + " " + id] = designed;
    }
    EXPECT_EQ(design.size(), places.size());
    expectScaled(design, places, dpi);
}

// A window moved to a monitor of another DPI: the font and both layouts are
// made for it, the window takes the suggested rectangle.
TEST_F(DpiLayoutTest, DpiChangeRebuildsFontAndLayout) {
    if (expectedDpi() != kDesignDpi) GTEST_SKIP() << "run at 96 DPI only";
    becomeDpiAware();
    constexpr int kNewDpi = 144;
    for (const Case& c : {kCases[0], kCases[3]}) {
        SCOPED_TRACE(c.fontHeight);
        start(c);
        HWND settings = program->settingsWindow().hwnd();
        HWND convert = program->convertWindow().hwnd();
        Places design, moved;
        collect(settings, "s", kSettingsControls, std::size(kSettingsControls), design);
        collect(convert, "c", kConvertControls, std::size(kConvertControls), design);
        // The rectangle Windows suggests: the same client area at 144 DPI.
        RECT client = {};
        GetClientRect(settings, &client);
        RECT suggested = {0, 0, MulDiv(client.right, kNewDpi, kDesignDpi),
                          MulDiv(client.bottom, kNewDpi, kDesignDpi)};
        using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
        const auto adjust = reinterpret_cast<AdjustForDpi>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
        ASSERT_NE(adjust, nullptr);
        adjust(&suggested, GetWindowLongW(settings, GWL_STYLE), FALSE,
               GetWindowLongW(settings, GWL_EXSTYLE), kNewDpi);
        OffsetRect(&suggested, 40 - suggested.left, 30 - suggested.top);
        SendMessageW(settings, WM_DPICHANGED, MAKEWPARAM(kNewDpi, kNewDpi),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT placed = {};
        GetWindowRect(settings, &placed);
        EXPECT_TRUE(EqualRect(&placed, &suggested));
        LOGFONTW font = {};
        GetObjectW(program->uiFont(), sizeof font, &font);
        EXPECT_EQ(font.lfHeight, c.fontHeight * kNewDpi / kDesignDpi);
        EXPECT_EQ(SendMessageW(GetDlgItem(settings, 1090), WM_GETFONT, 0, 0),
                  reinterpret_cast<LRESULT>(program->uiFont()));
        EXPECT_EQ(SendMessageW(GetDlgItem(convert, 1000), WM_GETFONT, 0, 0),
                  reinterpret_cast<LRESULT>(program->uiFont()));
        // Both windows show the program's icon at the new DPI's sizes.
        for (HWND window : {settings, convert}) {
            EXPECT_EQ(iconWidth(SendMessageW(window, WM_GETICON, ICON_BIG, 0)),
                      dpitest::metricForDpi(SM_CXICON, kNewDpi));
            EXPECT_EQ(iconWidth(SendMessageW(window, WM_GETICON, ICON_SMALL, 0)),
                      dpitest::metricForDpi(SM_CXSMICON, kNewDpi));
        }
        collect(settings, "s", kSettingsControls, std::size(kSettingsControls), moved);
        collect(convert, "c", kConvertControls, std::size(kConvertControls), moved);
        // A sent message leaves the frames at 96 DPI, so the client areas
        // are the suggested rectangle less a 96-DPI frame: only the controls
        // are compared.
        design.erase("s 0");
        design.erase("c 0");
        expectScaled(design, moved, kNewDpi);
        expectCaptionsFit(settings, kSettingsControls, std::size(kSettingsControls), kNewDpi);
        program.reset();
        apptest::drainMessages();
    }
}

}  // namespace

namespace {

// Tab walks every enabled control the user works, each once, top to bottom
// and left to right: each stop lies below the one before or in its row to
// its right.
TEST_F(DpiLayoutTest, TabWalksTheSettingsWindowInLayoutOrder) {
    becomeDpiAware();
    for (const Case& c : kCases) {
        SCOPED_TRACE(static_cast<int>(c.language[0]) * 100 - c.fontHeight);
        start(c, /*everythingEnabled=*/true);
        HWND settings = program->settingsWindow().hwnd();
        ASSERT_NE(settings, nullptr);
        // The same before and after a language change, which makes the
        // number edits anew.
        for (int pass = 0; pass < 2; ++pass) {
            SCOPED_TRACE(pass);
            if (pass == 1) program->settingsWindow().reapplyLanguage();
            std::vector<HWND> stops;
            EnumChildWindows(
                settings,
                [](HWND child, LPARAM out) -> BOOL {
                    // Lists, edits, check boxes, push buttons and a radio
                    // group's checked button (the arrow keys move in the group).
                    const LONG style = GetWindowLongW(child, GWL_STYLE);
                    const LONG type = style & BS_TYPEMASK;
                    wchar_t kind[32] = {};
                    GetClassNameW(child, kind, 32);
                    const bool button = _wcsicmp(kind, L"Button") == 0;
                    const bool worked = _wcsicmp(kind, L"ComboBox") == 0 ||
                                        _wcsicmp(kind, L"Edit") == 0 ||
                                        (button && type != BS_GROUPBOX &&
                                         (type != BS_AUTORADIOBUTTON ||
                                          SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED));
                    if (worked && IsWindowEnabled(child) && IsWindowVisible(child))
                        reinterpret_cast<std::vector<HWND>*>(out)->push_back(child);
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&stops));
            HWND first = GetNextDlgTabItem(settings, nullptr, FALSE);
            HWND current = first;
            std::vector<HWND> walked;
            do {
                walked.push_back(current);
                current = GetNextDlgTabItem(settings, current, FALSE);
            } while (current && current != first && walked.size() <= stops.size());
            EXPECT_EQ(walked.size(), stops.size());
            for (HWND stop : walked)
                EXPECT_EQ(std::count(stops.begin(), stops.end(), stop), 1)
                    << "walked to " << GetDlgCtrlID(stop);
            for (HWND stop : stops)
                EXPECT_EQ(std::count(walked.begin(), walked.end(), stop), 1) << GetDlgCtrlID(stop);
            for (size_t i = 1; i < walked.size(); ++i) {
                const RECT before = placeOf(settings, walked[i - 1]);
                const RECT after = placeOf(settings, walked[i]);
                const bool below = after.top >= before.bottom - 2;
                const bool rightInRow = after.left >= before.right && after.top < before.bottom;
                EXPECT_TRUE(below || rightInRow)
                    << GetDlgCtrlID(walked[i - 1]) << " then " << GetDlgCtrlID(walked[i]);
            }
            // Shift+Tab walks back.
            EXPECT_EQ(GetNextDlgTabItem(settings, first, TRUE), walked.back());
        }
        program.reset();
        apptest::drainMessages();
    }
}

}  // namespace
