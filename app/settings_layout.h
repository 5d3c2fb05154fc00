// How the settings window's layout rules measure. Positions and sizes follow
// from a few quantities of the UI font, so that every caption fits whatever
// the font and the language: h (character height), sb (scroll-bar width), ck
// (room for a check mark), d (check boxes sit one pixel higher when the font
// has no internal leading) and the widths of the captions. Everything here is
// at 96 DPI; the window scales the finished layout once.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace app {

struct FontQuantities {
    int h = 0;                        // tmHeight
    int sb = 0;                       // SM_CXVSCROLL
    int ck = 0;                       // SM_CXMENUCHECK + 8
    int d = 0;                        // 1 when tmInternalLeading < 1
    int ch() const { return h + 7; }  // labels, check boxes, edits
    int bh() const { return h + 9; }  // push buttons
};

struct LaidOutControl {
    int id = 0;
    RECT box = {};  // left, top, right, bottom in client coordinates
};
using SettingsLayout = std::vector<LaidOutControl>;

// What a layout rule may ask: the font's quantities, the width of a text
// as it is shown, and the place of every control laid out before it.
class LayoutRuler {
  public:
    // The shown width of a text (its mnemonic marker not counted).
    using MeasureFn = std::function<int(const wchar_t* text)>;
    // The language library's string `id`.
    using StringFn = std::function<std::wstring(int id)>;

    LayoutRuler(const FontQuantities& font, MeasureFn measure, StringFn string, bool reapplied)
        : font_(font),
          measure_(std::move(measure)),
          string_(std::move(string)),
          reapplied_(reapplied) {}

    int ch() const { return font_.ch(); }
    int bh() const { return font_.bh(); }
    int sb() const { return font_.sb; }
    int ck() const { return font_.ck; }
    int d() const { return font_.d; }
    // After a language or font change (the sub-folder edit is narrower then).
    bool reapplied() const { return reapplied_; }
    int textWidth(const wchar_t* text) const { return measure_(text); }
    int captionWidth(int stringId) const { return measure_(string_(stringId).c_str()); }
    // A control laid out before the one asking; empty when there is none.
    RECT placeOf(int id) const;

    static RECT box(int x, int y, int width, int height) {
        return RECT{x, y, x + width, y + height};
    }
    void record(int id, const RECT& box) { placed_.push_back({id, box}); }
    const SettingsLayout& placed() const { return placed_; }

  private:
    FontQuantities font_;
    MeasureFn measure_;
    StringFn string_;
    bool reapplied_;
    SettingsLayout placed_;
};

// The JPEG row's spare gap D (never negative) and start x for its total
// width T.
struct JpegRowStart {
    int x = 0;
    int gap = 0;
};
JpegRowStart jpegRowStart(int total);

// A caption as the control shows it: "&" marks the next character as the
// mnemonic and is not drawn; "&&" draws one "&".
std::wstring shownCaption(const wchar_t* caption);

// Measures the quantities with `font` selected into a screen-compatible DC;
// the system metrics are those at 96 DPI.
FontQuantities measureFontQuantities(HDC dc);
int textWidth(HDC dc, const wchar_t* text);

}  // namespace app
