// Where the settings window's controls go. Positions and sizes follow from a
// few quantities of the UI font, so that every caption fits whatever the font
// and the language: h (character height), sb (scroll-bar width), ck (room for
// a check mark), d (check boxes sit one pixel higher when the font has no
// internal leading) and the widths of the captions.
#pragma once

#include <windows.h>

#include <array>

namespace app {

struct FontQuantities {
    int h = 0;                        // tmHeight
    int sb = 0;                       // SM_CXVSCROLL
    int ck = 0;                       // SM_CXMENUCHECK + 8
    int d = 0;                        // 1 when tmInternalLeading < 1
    int ch() const { return h + 7; }  // labels, check boxes, edits
    int bh() const { return h + 9; }  // push buttons
};

// Text widths (GetTextExtentPoint32W) of the captions the layout depends on.
struct CaptionWidths {
    int startModeLabel = 0;                           // 1010
    int startModeFirst = 0, startModeLast = 0;        // 21000, 21005
    int keepTransparency = 0;                         // 1071
    int quality = 0;                                  // 1021
    int subsampling = 0;                              // 1024
    int sizeLimit = 0;                                // 1027
    int resizeSwitch = 0;                             // 1041
    int byWidth = 0, byHeight = 0, byLongerSide = 0;  // 1042-1044
    int resizeUnit = 0;                               // 1046
    int subFolder = 0;                                // 1054
    int sendTo = 0;                                   // 1060
    int digits3 = 0, digits4 = 0;                     // "000", "0000"
    int ratio = 0;                                    // "4:1"
    int kilobytes = 0;                                // "KB"
};

struct LaidOutControl {
    int id = 0;
    RECT box = {};  // left, top, right, bottom in client coordinates
};

// The controls of the settings window in creation order (the up-down
// controls are placed by their buddies and are not listed).
inline constexpr int kSettingsLayoutCount = 30;
using SettingsLayout = std::array<LaidOutControl, kSettingsLayoutCount>;

// `reapplied`: after a language or font change the sub-folder edit is 150
// pixels wide instead of 200.
SettingsLayout computeSettingsLayout(const FontQuantities& font, const CaptionWidths& widths,
                                     bool reapplied);

// The JPEG row's spare gap D (never negative) and start x for its total
// width T.
struct JpegRowStart {
    int x = 0;
    int gap = 0;
};
JpegRowStart jpegRowStart(int total);

// Measures the quantities with `font` selected into a screen-compatible DC;
// the system metrics are those at 96 DPI.
FontQuantities measureFontQuantities(HDC dc);
int textWidth(HDC dc, const wchar_t* text);

}  // namespace app
