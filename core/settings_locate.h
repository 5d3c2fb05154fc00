// Where the settings file lives: "Pirex.ini" next to the program when such a
// file exists there (a portable installation), otherwise in the folder
// "Pirex" of the user's application-data folder, created when missing. The
// program must be called "Pirex" (any extension, ASCII letters in any case).
#pragma once

#include "core/heap_string.h"

struct SettingsLocation {
    HeapString programFolder;  // made the current directory at start-up
    HeapString settingsFile;   // need not exist yet
};

// Settles the location for a program at `programPath` (a full path) and the
// user's application-data folder `appDataFolder` (null or "" when it cannot
// be had; only needed when there is no file next to the program). Creates
// the "Pirex" folder there when missing. Does not change the current
// directory. False when the program is not called "Pirex", the path has no
// folder, or no usable application-data folder is available.
bool locateSettingsFile(const char16_t* programPath, const char16_t* appDataFolder,
                        SettingsLocation& location);

// The start-up step: asks the system for the running program's path and the
// application-data folder, settles the location and makes the program's
// folder the current directory (so that language libraries and plug-ins
// named without a folder are found there).
bool locateSettings(SettingsLocation& location);
