#include "app/dialog_scaling.h"

#include "app/dpi.h"

namespace app {

namespace {

// The dialog manager's base units for a font: the average width of the
// Latin letters, rounded, and the font's height.
struct BaseUnits {
    int x = 0, y = 0;
};

class ScopedFont {
  public:
    explicit ScopedFont(const LOGFONTW& description) : font_(CreateFontIndirectW(&description)) {}
    ~ScopedFont() {
        if (font_) DeleteObject(font_);
    }
    ScopedFont(const ScopedFont&) = delete;
    ScopedFont& operator=(const ScopedFont&) = delete;
    HFONT handle() const { return font_; }

  private:
    HFONT font_;
};

bool baseUnitsOf(HFONT font, BaseUnits& units) {
    static constexpr wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    HDC dc = GetDC(nullptr);
    if (!dc) return false;
    HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICW metrics = {};
    SIZE letters = {};
    const bool measured =
        GetTextMetricsW(dc, &metrics) && GetTextExtentPoint32W(dc, kLetters, 52, &letters);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    units = {(letters.cx / 26 + 1) / 2, metrics.tmHeight};
    return measured && units.x > 0 && units.y > 0;
}

RECT pixelsAtDesignDpi(const DialogUnitsBox& box, const BaseUnits& units) {
    const int left = MulDiv(box.x, units.x, 4), top = MulDiv(box.y, units.y, 8);
    return {left, top, left + MulDiv(box.width, units.x, 4), top + MulDiv(box.height, units.y, 8)};
}

}  // namespace

void scaleDialogForDpi(HWND dialog, const DialogBoxes& boxes, int pointSize) {
    const int dpi = dpiOf(dialog);
    if (dpi == kDesignDpi) return;
    LOGFONTW description = {};
    const auto font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    if (!font || !GetObjectW(font, sizeof description, &description)) return;
    description.lfHeight = -MulDiv(pointSize, kDesignDpi, 72);
    description.lfWidth = 0;
    const ScopedFont designFont(description);
    BaseUnits units;
    if (!designFont.handle() || !baseUnitsOf(designFont.handle(), units)) return;

    HWND child = GetWindow(dialog, GW_CHILD);
    for (const DialogUnitsBox& item : boxes.items) {
        if (!child) break;
        const RECT box = scaleForDpi(pixelsAtDesignDpi(item, units), dpi);
        SetWindowPos(child, nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        child = GetWindow(child, GW_HWNDNEXT);
    }

    const RECT client =
        scaleForDpi(pixelsAtDesignDpi({0, 0, boxes.dialog.width, boxes.dialog.height}, units), dpi);
    const RECT frame =
        windowRectForClient(client.right, client.bottom, GetWindowLongW(dialog, GWL_STYLE),
                            GetWindowLongW(dialog, GWL_EXSTYLE), dpi);
    RECT now = {};
    GetWindowRect(dialog, &now);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(dialog, nullptr, (now.left + now.right - width) / 2,
                 (now.top + now.bottom - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace app
