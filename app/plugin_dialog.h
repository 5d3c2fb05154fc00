// The plug-in dialog (template 2100 of the language library): the plug-in
// folder and, for each import filter in it, whether it is switched on. The
// dialog works on a copy of the folder; OK stores the folder and the
// switched-off plug-ins, Esc and Cancel change nothing.
#pragma once

#include <windows.h>

namespace app {

class Shell;

// Runs the dialog modally, owned by `owner` (the options dialog).
void runPluginDialog(Shell& app, HWND owner);

}  // namespace app
