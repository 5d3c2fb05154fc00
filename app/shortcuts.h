// The program's own shortcuts: "Moravel.lnk" in the Send To folder and,
// optionally, on the desktop; and the one-time replacement of the shortcuts
// older versions left in Send To under other names.
//
// Shell failures are silent by design: a check box that drives a shortcut
// shows what exists the next time it is filled. COM must be initialised on
// the calling thread.
#pragma once

#include <windows.h>

struct Settings;

namespace app {

enum class ShortcutPlace { SendTo, Desktop };

// The folders the shortcuts go to and the program they start. An empty
// folder means the system could not name it; nothing is done there then.
struct ShortcutLocations {
    wchar_t sendToFolder[MAX_PATH] = {};
    wchar_t desktopFolder[MAX_PATH] = {};
    wchar_t programPath[MAX_PATH] = {};
};

// The user's Send To (CSIDL_SENDTO) and desktop (CSIDL_DESKTOPDIRECTORY)
// folders and the running program's full path.
ShortcutLocations systemShortcutLocations();

// folder + "\Moravel.lnk"; false when the folder is unknown or the path
// would not fit MAX_PATH.
bool shortcutPath(const ShortcutLocations& locations, ShortcutPlace place,
                  wchar_t (&linkPath)[MAX_PATH]);
bool shortcutExists(const ShortcutLocations& locations, ShortcutPlace place);

// Writes a shell link at linkPath: target = targetPath, no arguments, icon =
// the target's first icon, shown normally. True when the link was saved.
bool createShellLink(const wchar_t* linkPath, const wchar_t* targetPath);

// Makes the shortcut match a check box: created when wanted and missing,
// deleted when not wanted and present. An existing shortcut is never
// rewritten, wherever it points. True when the shortcut's presence now
// matches `wanted`.
bool applyShortcut(const ShortcutLocations& locations, ShortcutPlace place, bool wanted);

// Run once while the settings window is built; returns the initial tick of
// its Send To check box. Until both migration flags are set, the older
// Send To shortcut ("Convert (BMP PNG JPEG).lnk" before the first migration,
// "PirexMoravel.lnk" after it) is replaced by "Moravel.lnk" and the box is
// ticked; without an older shortcut the box starts unticked even when
// "Moravel.lnk" exists. Afterwards both flags are set (the caller saves
// them) and the box simply shows whether "Moravel.lnk" exists.
bool migrateOldSendToShortcuts(const ShortcutLocations& locations, Settings& settings);

// The same for the system's folders and the running program.
bool shortcutExists(ShortcutPlace place);
bool applyShortcut(ShortcutPlace place, bool wanted);
bool migrateOldSendToShortcuts(Settings& settings);

}  // namespace app
