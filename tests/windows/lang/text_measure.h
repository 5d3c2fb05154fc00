// Text measurement for the layout checks: a memory device context with a
// font selected.  Where the named face has no glyphs for a text (a Japanese
// face on a machine without it), another installed font that has them stands
// in, so widths are never taken from empty boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace langtest {

class TextMeasure {
  public:
    // `texts`: everything that will be measured, to choose a font that has
    // every glyph.  valid() is false when no installed font has them all.
    TextMeasure(LOGFONTW font, const std::vector<std::wstring>& texts);
    ~TextMeasure();
    TextMeasure(const TextMeasure&) = delete;
    TextMeasure& operator=(const TextMeasure&) = delete;

    bool valid() const { return font_ != nullptr; }
    const std::wstring& faceUsed() const { return faceUsed_; }

    // Width of one line (GetTextExtentPoint32W).
    int width(const std::wstring& text) const;
    // Size of a caption as a control draws it: '&' marks a mnemonic, "\n"
    // breaks the line, and with `wrapWidth` > 0 words wrap at that width.
    SIZE drawnSize(const std::wstring& text, int wrapWidth) const;

  private:
    bool coversAll(const std::vector<std::wstring>& texts) const;
    bool use(const LOGFONTW& font, const std::vector<std::wstring>& texts);

    HDC dc_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::wstring faceUsed_;
};

// The font a dialog or control draws with, as a LOGFONTW.
LOGFONTW fontOf(HWND window);

}  // namespace langtest
