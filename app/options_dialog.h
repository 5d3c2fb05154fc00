// The options dialog (template 2000 of the language library): the desktop
// shortcut, the language, the large font and the way to the plug-in dialog.
// Closing it applies; Enter does nothing.
#pragma once

#include <windows.h>

namespace app {

class Shell;

// Runs the dialog modally, owned by `owner`. Nothing opens when the language
// library has no usable template.
void runOptionsDialog(Shell& app, HWND owner);

}  // namespace app
