// The UI font: one font object at a time, set on every control.
#pragma once

#include <windows.h>

#include <cstdint>

namespace app {

// The font's description: the given height (-12, or -14 for the large font),
// weight 400, DEFAULT_CHARSET, VARIABLE_PITCH | FF_SWISS, the face name cut
// to 31 characters (empty when there is none).
LOGFONTW uiFontDescription(const wchar_t* face, int32_t height);

class UiFont {
  public:
    UiFont() = default;
    ~UiFont() { release(); }
    UiFont(const UiFont&) = delete;
    UiFont& operator=(const UiFont&) = delete;

    // Replaces the current font; false (and no font) when GDI refuses. The
    // height is the stored one, at 96 DPI; the font is made for `dpi`.
    bool create(const wchar_t* face, int32_t height, int dpi = 96);
    void release();
    HFONT handle() const { return font_; }

  private:
    HFONT font_ = nullptr;
};

}  // namespace app
