#include "app/settings_layout.h"

#include "app/dpi.h"

namespace app {

namespace {

// Drop-down lists are created with the height of their open list.
constexpr int kListDropHeight = 400;

RECT box(int x, int y, int width, int height) {
    return RECT{x, y, x + width, y + height};
}

class LayoutBuilder {
  public:
    void add(int id, RECT place) { layout_[next_++] = LaidOutControl{id, place}; }
    const SettingsLayout& result() const { return layout_; }

  private:
    SettingsLayout layout_{};
    int next_ = 0;
};

}  // namespace

JpegRowStart jpegRowStart(int total) {
    // The row is centred in the group while it fits with a margin; a row
    // that barely fits spreads its spare room over the gaps and the margin;
    // a row too long starts at the group's edge. A centred row wider than
    // 476 has no spare room left: a negative gap would lay its controls over
    // each other, so the gaps stay empty and the margin takes up the rest.
    if (total <= 486) return {15, total < 476 ? (476 - total) / 2 : 0};
    if (total > 496) return {5, 0};
    const int gap = (496 - total) / 4;
    return {gap + 5, gap};
}

SettingsLayout computeSettingsLayout(const FontQuantities& font, const CaptionWidths& widths,
                                     bool reapplied) {
    const int ch = font.ch();
    const int bh = font.bh();
    const int sb = font.sb;
    const int ck = font.ck;
    const int d = font.d;
    LayoutBuilder layout;

    // Start mode and transparency.
    layout.add(1010, box(15, 18, widths.startModeLabel + 2, ch));
    const int listTextWidth =
        widths.startModeFirst > widths.startModeLast ? widths.startModeFirst : widths.startModeLast;
    layout.add(1011, box(widths.startModeLabel + 18, 17, sb + listTextWidth + 10, kListDropHeight));
    layout.add(1070, box(243, 5, 258, 48));
    layout.add(1071, box(253, 25 - d, widths.keepTransparency + ck, ch));

    // The JPEG row, laid out from its parts.
    layout.add(1020, box(5, 58, 496, 48));
    const int t = widths.quality, u = widths.digits3, v = widths.subsampling;
    const int w = widths.ratio + sb + 10, c = widths.sizeLimit + ck;
    const int b = widths.digits4, kb = widths.kilobytes + 2;
    const int total = widths.ratio + t + u + v + b + kb + c + 3 * sb + 42;
    const JpegRowStart row = jpegRowStart(total);
    const int gap = row.gap;
    const RECT quality = box(row.x, 78, t + 2, ch);
    layout.add(1021, quality);
    const RECT qualityEdit = box(row.x + t + 3, 78, u + sb + 10, ch);
    layout.add(1022, qualityEdit);
    const RECT subsampling = box(row.x + t + sb + u + gap + 13, 78, v + 2, ch);
    layout.add(1024, subsampling);
    const RECT ratioList = box(subsampling.right + 1, 77, w, kListDropHeight);
    layout.add(1025, ratioList);
    const RECT limit = box(ratioList.right + gap, 78 - d, c, ch);
    layout.add(1027, limit);
    const RECT limitEdit = box(limit.right + 1, 78, sb + b + 10, ch);
    layout.add(1028, limitEdit);
    layout.add(1030, box(limitEdit.right + 3, 78, kb, ch));

    // Resize.
    layout.add(1040, box(5, 111, 496, 48));
    const int switchWidth = widths.resizeSwitch + ck;
    layout.add(1041, box(15, 131 - d, switchWidth, ch));
    const RECT byWidth = box(switchWidth + 31, 131, widths.byWidth + ck, ch);
    layout.add(1042, byWidth);
    const RECT byHeight = box(byWidth.right + 4, 131, widths.byHeight + ck, ch);
    layout.add(1043, byHeight);
    const RECT byLonger = box(byHeight.right + 4, 131, widths.byLongerSide + ck, ch);
    layout.add(1044, byLonger);
    const RECT target = box(byLonger.right + 8, 131, widths.digits4 + 15, ch);
    layout.add(1045, target);
    layout.add(1046, box(target.right + 3, 131, widths.resizeUnit + 2, ch));

    // Output folder.
    layout.add(1050, box(5, 164, 496, 75));
    layout.add(1053, box(15, 184, 368, ch));
    layout.add(1051, box(383, 183, 54, bh));
    layout.add(1052, box(437, 183, 54, bh));
    const int subFolderWidth = widths.subFolder + ck;
    layout.add(1054, box(15, 211, subFolderWidth, ch));
    layout.add(1055, box(subFolderWidth + 18, 211, reapplied ? 150 : 200, ch));

    // Send To and the buttons.
    layout.add(1060, box(15, 248 - d, widths.sendTo + ck, ch));
    layout.add(1090, box(15, 280, 120, bh));
    layout.add(1091, box(236, 280, 120, bh));
    layout.add(1092, box(366, 280, 70, bh));
    layout.add(1093, box(446, 280, 50, bh));
    return layout.result();
}

FontQuantities measureFontQuantities(HDC dc) {
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    FontQuantities font;
    font.h = metrics.tmHeight;
    font.sb = systemMetricForDpi(SM_CXVSCROLL, kDesignDpi);
    font.ck = systemMetricForDpi(SM_CXMENUCHECK, kDesignDpi) + 8;
    font.d = metrics.tmInternalLeading < 1 ? 1 : 0;
    return font;
}

int textWidth(HDC dc, const wchar_t* text) {
    SIZE size = {};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
    return size.cx;
}

}  // namespace app
