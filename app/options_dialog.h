// The options dialog (template 2000 of the language library): the desktop
// shortcut, the language, the large font and the way to the plug-in dialog.
// Closing it applies; Enter does nothing.
#pragma once

#include <windows.h>

namespace app {

class Shell;

inline constexpr WORD kOptionsDialogTemplate = 2000;
inline constexpr int kIdDesktopShortcut = 2010;
inline constexpr int kIdPluginsButton = 2011;
inline constexpr int kIdLanguageList = 2021;
inline constexpr int kIdLargeFont = 2030;

// Runs the dialog modally, owned by `owner`. Nothing opens when the language
// library has no usable template.
void runOptionsDialog(Shell& app, HWND owner);

}  // namespace app
