// A second start of the program hands its files to the first: WM_COPYDATA to
// the first's convert window, the paths one after another, each ending in a
// NUL. The first converts them after its running batch, or refuses them when
// none runs (the second start then ends as before, converting nothing).
#pragma once

#include <windows.h>

#include "app/source_list.h"

namespace app {

// Tells WM_COPYDATA of this program from any other.
inline constexpr ULONG_PTR kHandoverTag = 0x50495258;  // "PIRX"

// True when the first instance took the files.
bool handOverFiles(HWND first, const SourceList& files);

// The paths of a hand-over; false for anything else or a malformed one.
bool readHandedOverFiles(const COPYDATASTRUCT& data, SourceList& files);

}  // namespace app
