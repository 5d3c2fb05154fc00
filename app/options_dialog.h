// The options dialog (template 2000 of the language library): the desktop
// shortcut, the language, the large font and the way to the plug-in dialog.
// Closing it applies; Enter does nothing.
#pragma once

#include <windows.h>

#include "lang/resource_ids.h"

namespace app {

class Shell;

inline constexpr WORD kOptionsDialogTemplate = IDD_OPTIONS;
inline constexpr int kIdDesktopShortcut = IDC_DESKTOP_SHORTCUT;
inline constexpr int kIdPluginsButton = IDC_PLUGINS_BUTTON;
inline constexpr int kIdLanguageList = IDC_LANGUAGE_LIST;
inline constexpr int kIdLargeFont = IDC_LARGE_FONT;

// Runs the dialog modally, owned by `owner`. Nothing opens when the language
// library has no usable template.
void runOptionsDialog(Shell& app, HWND owner);

}  // namespace app
