#include "app/settings_layout.h"

#include "app/dpi.h"

namespace app {

RECT LayoutRuler::placeOf(int id) const {
    for (const LaidOutControl& control : placed_)
        if (control.id == id) return control.box;
    return RECT{};
}

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

std::wstring shownCaption(const wchar_t* caption) {
    std::wstring shown;
    for (const wchar_t* c = caption; *c; ++c) {
        if (*c == L'&' && c[1] != 0) ++c;
        shown += *c;
    }
    return shown;
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
