// The shell's folder chooser, opened on a folder: used by the settings
// window for the output folder and by the plug-in dialog for its folder.
#pragma once

#include <windows.h>

#include "core/heap_string.h"

namespace app {

// Shows the chooser owned by `owner` with `title` followed by `current`,
// pre-selecting `current` when it is not empty. True when the user chose a
// file-system folder; `chosen` then holds its path.
bool chooseFolder(HWND owner, const wchar_t* title, const HeapString& current, HeapString& chosen);

}  // namespace app
