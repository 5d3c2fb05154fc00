#include "app/ui_font.h"

#include "app/dpi.h"

namespace app {

LOGFONTW uiFontDescription(const wchar_t* face, int32_t height) {
    LOGFONTW font = {};
    font.lfHeight = height;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    constexpr int kFaceCharacters = LF_FACESIZE - 1;
    for (int i = 0; face && i < kFaceCharacters && face[i]; ++i) font.lfFaceName[i] = face[i];
    return font;
}

bool UiFont::create(const wchar_t* face, int32_t height, int dpi) {
    release();
    // Rounded toward zero: a font never larger than the layout scaled with it.
    const LOGFONTW description = uiFontDescription(face, height * dpi / kDesignDpi);
    font_ = CreateFontIndirectW(&description);
    return font_ != nullptr;
}

void UiFont::release() {
    if (font_) DeleteObject(font_);
    font_ = nullptr;
}

}  // namespace app
