#include "app/settings_controls.h"

#include <commctrl.h>

#include <algorithm>

#include "lang/resource_ids.h"

namespace app {

namespace {

// Drop-down lists are created with the height of their open list.
constexpr int kListDropHeight = 400;
// The digits only measure the number edits.
constexpr wchar_t kDigits3[] = L"000";
constexpr wchar_t kDigits4[] = L"0000";

constexpr DWORD kLabel = SS_CENTERIMAGE | SS_ENDELLIPSIS;
// Every control the user works is a tab stop; the checked radio button
// makes itself its group's.
constexpr DWORD kList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kNumberEdit = ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL | WS_TABSTOP;

using R = const LayoutRuler&;
RECT box(int x, int y, int width, int height) {
    return LayoutRuler::box(x, y, width, height);
}
int width(const RECT& box) {
    return box.right - box.left;
}
// A check box or radio button: its caption and the room for its mark.
int checkWidth(R r, int id) {
    return r.captionWidth(id) + r.ck();
}

// A push button is as wide as designed, or wider when its caption and the
// button's border need more room; it grows away from the edge it is aligned
// to, `right` (or the left edge 15 for the first of the bottom row).
constexpr int kButtonBorder = 8;
int buttonWidth(R r, int id, int designed) {
    return std::max(designed, r.captionWidth(id) + kButtonBorder);
}
RECT buttonLeftOf(R r, int id, int right, int top, int designed) {
    const int width = buttonWidth(r, id, designed);
    return box(right - width, top, width, r.bh());
}
// The folder row's two buttons end at the group's inner edge; the folder
// field takes the room left of them.
RECT clearFolderButton(R r) {
    return buttonLeftOf(r, IDS_OUTPUT_CLEAR_FOLDER, 491, 183, 54);
}
RECT chooseFolderButton(R r) {
    return buttonLeftOf(r, IDS_OUTPUT_CHOOSE_FOLDER, clearFolderButton(r).left, 183, 54);
}

// The JPEG row is laid out from its parts: centred while it fits, its spare
// room between the quality and subsampling parts and before the size limit.
JpegRowStart jpegRow(R r) {
    const int total = r.textWidth(kRatio41) + r.captionWidth(IDS_JPEG_QUALITY) +
                      r.textWidth(kDigits3) + r.captionWidth(IDS_JPEG_SUBSAMPLING) +
                      r.textWidth(kDigits4) + r.textWidth(kKilobytes) + 2 +
                      checkWidth(r, IDS_JPEG_SIZE_LIMIT) + 3 * r.sb() + 42;
    return jpegRowStart(total);
}

constexpr SettingBinding bind(int32_t Settings::*field, int32_t value = 0) {
    return {field, value};
}

using K = ControlKind;
using E = EnableRule;

// clang-format off
constexpr SettingsControl kControls[] = {
    // Start mode and transparency.
    {IDS_START_MODE_LABEL, K::Label,
     [](R r) { return box(15, 18, r.captionWidth(IDS_START_MODE_LABEL) + 2, r.ch()); }},
    {IDC_START_MODE_LIST, K::StartModeList,
     [](R r) {
         const int entry = std::max(r.captionWidth(IDS_START_MODE_ASK),
                                    r.captionWidth(IDS_START_MODE_JPEG_COPY));
         return box(r.placeOf(IDS_START_MODE_LABEL).right + 1, 17, r.sb() + entry + 10,
                    kListDropHeight);
     },
     bind(&Settings::startMode)},
    {IDS_TRANSPARENCY_GROUP, K::Group, [](R) { return box(243, 5, 258, 48); }},
    {IDS_KEEP_TRANSPARENCY, K::CheckBox,
     [](R r) { return box(253, 25 - r.d(), checkWidth(r, IDS_KEEP_TRANSPARENCY), r.ch()); },
     bind(&Settings::keepTransparency)},

    // JPEG: quality, subsampling, size limit in one row.
    {IDS_JPEG_GROUP, K::Group, [](R) { return box(5, 58, 496, 48); }},
    {IDS_JPEG_QUALITY, K::Label,
     [](R r) { return box(jpegRow(r).x, 78, r.captionWidth(IDS_JPEG_QUALITY) + 2, r.ch()); }},
    {IDC_JPEG_QUALITY_EDIT, K::NumberEdit,
     [](R r) {
         return box(jpegRow(r).x + r.captionWidth(IDS_JPEG_QUALITY) + 3, 78,
                    r.textWidth(kDigits3) + r.sb() + 10, r.ch());
     },
     bind(&Settings::jpegQuality), E::Always, {3, 1, 100}},
    {IDS_JPEG_SUBSAMPLING, K::Label,
     [](R r) {
         const JpegRowStart row = jpegRow(r);
         const int x = row.x + r.captionWidth(IDS_JPEG_QUALITY) + r.sb() +
                       r.textWidth(kDigits3) + row.gap + 13;
         return box(x, 78, r.captionWidth(IDS_JPEG_SUBSAMPLING) + 2, r.ch());
     }},
    {IDC_JPEG_SUBSAMPLING_LIST, K::RatioList,
     [](R r) {
         return box(r.placeOf(IDS_JPEG_SUBSAMPLING).right + 1, 77,
                    r.textWidth(kRatio41) + r.sb() + 10, kListDropHeight);
     },
     bind(&Settings::jpegSubsampling)},
    {IDS_JPEG_SIZE_LIMIT, K::CheckBox,
     [](R r) {
         return box(r.placeOf(IDC_JPEG_SUBSAMPLING_LIST).right + jpegRow(r).gap, 78 - r.d(),
                    checkWidth(r, IDS_JPEG_SIZE_LIMIT), r.ch());
     },
     bind(&Settings::jpegSizeLimitOn)},
    {IDC_JPEG_SIZE_LIMIT_EDIT, K::NumberEdit,
     [](R r) {
         return box(r.placeOf(IDS_JPEG_SIZE_LIMIT).right + 1, 78,
                    r.sb() + r.textWidth(kDigits4) + 10, r.ch());
     },
     bind(&Settings::jpegSizeLimitKiB), E::WhileSizeLimited, {4, 1, 32767}},
    {IDC_JPEG_SIZE_LIMIT_UNIT, K::UnitLabel,
     [](R r) {
         return box(r.placeOf(IDC_JPEG_SIZE_LIMIT_EDIT).right + 3, 78,
                    r.textWidth(kKilobytes) + 2, r.ch());
     },
     {}, E::WhileSizeLimited},

    // Resize: the switch, the side it measures and the length.
    {IDS_RESIZE_GROUP, K::Group, [](R) { return box(5, 111, 496, 48); }},
    {IDS_RESIZE_SWITCH, K::CheckBox,
     [](R r) { return box(15, 131 - r.d(), checkWidth(r, IDS_RESIZE_SWITCH), r.ch()); },
     bind(&Settings::resizeOn)},
    {IDS_RESIZE_BY_WIDTH, K::FirstRadio,
     [](R r) {
         return box(width(r.placeOf(IDS_RESIZE_SWITCH)) + 31, 131,
                    checkWidth(r, IDS_RESIZE_BY_WIDTH), r.ch());
     },
     bind(&Settings::resizeMode, kResizeByWidth), E::WhileResizing},
    {IDS_RESIZE_BY_HEIGHT, K::Radio,
     [](R r) {
         return box(r.placeOf(IDS_RESIZE_BY_WIDTH).right + 4, 131,
                    checkWidth(r, IDS_RESIZE_BY_HEIGHT), r.ch());
     },
     bind(&Settings::resizeMode, kResizeByHeight), E::WhileResizing},
    {IDS_RESIZE_BY_LONGER_SIDE, K::Radio,
     [](R r) {
         return box(r.placeOf(IDS_RESIZE_BY_HEIGHT).right + 4, 131,
                    checkWidth(r, IDS_RESIZE_BY_LONGER_SIDE), r.ch());
     },
     bind(&Settings::resizeMode, kResizeByLongerSide), E::WhileResizing},
    {IDC_RESIZE_TARGET_EDIT, K::SignedEdit,
     [](R r) {
         return box(r.placeOf(IDS_RESIZE_BY_LONGER_SIDE).right + 8, 131,
                    r.textWidth(kDigits4) + 15, r.ch());
     },
     bind(&Settings::resizeTarget), E::WhileResizing, {4, 0, 0}},
    {IDS_RESIZE_UNIT, K::Label,
     [](R r) {
         return box(r.placeOf(IDC_RESIZE_TARGET_EDIT).right + 3, 131,
                    r.captionWidth(IDS_RESIZE_UNIT) + 2, r.ch());
     },
     {}, E::WhileResizing},

    // Output folder and sub-folder.
    {IDS_OUTPUT_GROUP, K::Group, [](R) { return box(5, 164, 496, 75); }},
    {IDC_OUTPUT_FOLDER_EDIT, K::FolderEdit,
     [](R r) { return box(15, 184, chooseFolderButton(r).left - 15, r.ch()); },
     {}, E::Always, {MAX_PATH, 0, 0}},
    {IDS_OUTPUT_CHOOSE_FOLDER, K::PushButton, chooseFolderButton},
    {IDS_OUTPUT_CLEAR_FOLDER, K::PushButton, clearFolderButton},
    {IDS_OUTPUT_SUB_FOLDER, K::CheckBox,
     [](R r) { return box(15, 211, checkWidth(r, IDS_OUTPUT_SUB_FOLDER), r.ch()); },
     bind(&Settings::subFolderOn)},
    {IDC_SUB_FOLDER_EDIT, K::NameEdit,
     [](R r) {
         return box(width(r.placeOf(IDS_OUTPUT_SUB_FOLDER)) + 18, 211,
                    r.reapplied() ? 150 : 200, r.ch());
     },
     {}, E::Always, {32, 0, 0}},

    // Send To, and the window's buttons.
    {IDS_SEND_TO_SHORTCUT, K::CheckBox,
     [](R r) { return box(15, 248 - r.d(), checkWidth(r, IDS_SEND_TO_SHORTCUT), r.ch()); }},
    {IDS_OPTIONS_BUTTON, K::PushButton,
     [](R r) { return box(15, 280, buttonWidth(r, IDS_OPTIONS_BUTTON, 120), r.bh()); }},
    {IDS_SAVE_AND_CLOSE, K::PushButton,
     [](R r) { return buttonLeftOf(r, IDS_SAVE_AND_CLOSE, 356, 280, 120); }},
    {IDS_HELP_BUTTON, K::PushButton,
     [](R r) { return buttonLeftOf(r, IDS_HELP_BUTTON, 436, 280, 70); }},
    {IDS_ABOUT_BUTTON, K::PushButton,
     [](R r) { return buttonLeftOf(r, IDS_ABOUT_BUTTON, 496, 280, 50); }},
};
// clang-format on

}  // namespace

std::span<const SettingsControl> settingsControls() {
    return kControls;
}

ControlClass controlClassOf(ControlKind kind) {
    switch (kind) {
        case K::Label:
            return {L"STATIC", kLabel, 0, true};
        case K::UnitLabel:
            return {L"STATIC", kLabel, 0, false};
        case K::Group:
            return {L"BUTTON", BS_GROUPBOX, WS_EX_TRANSPARENT, true};
        case K::CheckBox:
            return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0, true};
        case K::FirstRadio:
            return {L"BUTTON", BS_AUTORADIOBUTTON | WS_GROUP, 0, true};
        case K::Radio:
            return {L"BUTTON", BS_AUTORADIOBUTTON, 0, true};
        case K::StartModeList:
        case K::RatioList:
            return {L"COMBOBOX", kList, 0, false};
        case K::NumberEdit:
            return {L"EDIT", kNumberEdit, WS_EX_CLIENTEDGE, false};
        case K::SignedEdit:
            return {L"EDIT", kNumberEdit | WS_GROUP, WS_EX_CLIENTEDGE, false};
        case K::FolderEdit:
            // A tab stop too: a long path is read by moving through it.
            return {L"EDIT", ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, false};
        case K::NameEdit:
            return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, false};
        case K::PushButton:
            return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, true};
    }
    return {L"STATIC", 0, 0, false};
}

SettingsLayout layOutSettingsControls(LayoutRuler& ruler) {
    for (const SettingsControl& control : kControls) ruler.record(control.id, control.place(ruler));
    return ruler.placed();
}

}  // namespace app
