// The settings window's controls as one table, in creation order, which is
// also the tab order: top to bottom, left to right. Each row names the
// control by its number in lang/resource_ids.h and gives its kind (class and
// style), its layout rule, the setting it shows and the switch it depends on.
// Creating, laying out, showing and taking the settings and enabling all
// walk this table.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

#include "app/settings_layout.h"
#include "core/settings.h"

namespace app {

enum class ControlKind : uint8_t {
    Label,          // STATIC, the caption of its id
    UnitLabel,      // STATIC, the fixed text "KB"
    Group,          // group box
    CheckBox,       // shows an int32_t setting as 0 or 1
    FirstRadio,     // starts a radio group; shows `value` of its setting
    Radio,          // the last of a group is ticked for any other value
    StartModeList,  // entries: strings 21000-21005; the selection is the value
    RatioList,      // entries "4:1" (0) and "1:1" (2)
    NumberEdit,     // with an up-down (the next number) that reads the value
    SignedEdit,     // a signed number read as typed; ends the radio group
    FolderEdit,     // read-only: the output folder, or string 1053
    NameEdit,       // the sub-folder name
    PushButton,
};

// Which switch a control follows: enabled exactly while it is ticked.
enum class EnableRule : uint8_t { Always, WhileSizeLimited, WhileResizing };

// The Settings field a control shows; `value` is a radio button's own.
struct SettingBinding {
    int32_t Settings::*field = nullptr;
    int32_t value = 0;
};

// An edit's character limit, and an up-down's range.
struct InputLimits {
    int characters = 0;
    int lowest = 0;
    int highest = 0;
};

// A rule gives the control's rectangle at 96 DPI.
using PlaceRule = RECT (*)(const LayoutRuler& ruler);

struct SettingsControl {
    int id;
    ControlKind kind;
    PlaceRule place;
    SettingBinding binding = {};
    EnableRule enable = EnableRule::Always;
    InputLimits limits = {};
};

std::span<const SettingsControl> settingsControls();

// The class, styles and caption kind every control of a kind gets.
struct ControlClass {
    const wchar_t* className;
    DWORD style;  // besides WS_CHILD | WS_VISIBLE
    DWORD exStyle;
    bool captioned;  // its caption is the language string of its id
};
ControlClass controlClassOf(ControlKind kind);

// Every control's rectangle at 96 DPI, in table order.
SettingsLayout layOutSettingsControls(LayoutRuler& ruler);

// Texts the program names itself: the subsampling entries, the unit of the
// size limit.
inline constexpr wchar_t kRatio41[] = L"4:1";
inline constexpr wchar_t kRatio11[] = L"1:1";
inline constexpr wchar_t kKilobytes[] = L"KB";
inline constexpr int kStartModeCount = 6;

}  // namespace app
