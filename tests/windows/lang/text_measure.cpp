#include "text_measure.h"

#include <cwchar>

namespace langtest {
namespace {

int CALLBACK collectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM faces) {
    reinterpret_cast<std::vector<std::wstring>*>(faces)->push_back(font->lfFaceName);
    return 1;
}

// Faces of installed fonts with Japanese glyphs.
std::vector<std::wstring> japaneseFaces(HDC dc) {
    LOGFONTW query = {};
    query.lfCharSet = SHIFTJIS_CHARSET;
    std::vector<std::wstring> faces;
    EnumFontFamiliesExW(dc, &query, collectFace, reinterpret_cast<LPARAM>(&faces), 0);
    return faces;
}

}  // namespace

TextMeasure::TextMeasure(LOGFONTW font, const std::vector<std::wstring>& texts)
    : dc_(CreateCompatibleDC(nullptr)) {
    if (!dc_ || use(font, texts)) return;
    for (const std::wstring& face : japaneseFaces(dc_)) {
        if (face.empty() || face[0] == L'@') continue;  // vertical-writing variants
        LOGFONTW standIn = font;
        wcsncpy(standIn.lfFaceName, face.c_str(), LF_FACESIZE - 1);
        standIn.lfFaceName[LF_FACESIZE - 1] = 0;
        if (use(standIn, texts)) return;
    }
}

TextMeasure::~TextMeasure() {
    if (dc_) {
        if (previous_) SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    if (font_) DeleteObject(font_);
}

bool TextMeasure::use(const LOGFONTW& font, const std::vector<std::wstring>& texts) {
    HFONT candidate = CreateFontIndirectW(&font);
    if (!candidate) return false;
    HGDIOBJ previous = SelectObject(dc_, candidate);
    if (!previous_) previous_ = previous;
    if (!coversAll(texts)) {
        SelectObject(dc_, previous_);
        DeleteObject(candidate);
        return false;
    }
    font_ = candidate;
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc_, LF_FACESIZE, face);
    faceUsed_ = face;
    return true;
}

bool TextMeasure::coversAll(const std::vector<std::wstring>& texts) const {
    for (const std::wstring& text : texts) {
        std::vector<WORD> glyphs(text.size() + 1);
        if (GetGlyphIndicesW(dc_, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                             GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) {
            return false;
        }
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] >= 0x20 && glyphs[i] == 0xFFFF) return false;
        }
    }
    return true;
}

int TextMeasure::width(const std::wstring& text) const {
    SIZE size = {};
    GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

SIZE TextMeasure::drawnSize(const std::wstring& text, int wrapWidth) const {
    RECT rect = {0, 0, wrapWidth > 0 ? wrapWidth : 0x7FFF, 0};
    UINT format = DT_CALCRECT | DT_LEFT | DT_EXPANDTABS;
    if (wrapWidth > 0) format |= DT_WORDBREAK;
    DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &rect, format);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

LOGFONTW fontOf(HWND window) {
    LOGFONTW font = {};
    auto handle = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    if (handle) GetObjectW(handle, sizeof font, &font);
    return font;
}

}  // namespace langtest
