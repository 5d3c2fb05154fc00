// The settings file from the command line: reading options from a
// "Pirex.ini", listing them, and saving them back the way the program does.
#pragma once

#include <cstdio>
#include <string>

#include "core/settings.h"

// Reads every setting (the language too) from a settings file, with the same
// defaults and normalisations as the program. False, with `settings`
// unchanged, when the file cannot be opened or is not a settings file (shorter
// than its header and slot table).
bool loadSettingsFromFile(const char16_t* path, Settings& settings);

// Prints one "name=value" line per setting, in slot order:
//   language, fontHeight, jpegQuality, jpegSubsampling, jpegSizeLimitOn,
//   jpegSizeLimitKiB, resizeOn, resizeMode, resizeTarget, outputFolder,
//   subFolderOn, subFolderName, pluginFolder, startMode, sendToMigrated1,
//   sendToMigrated2, disabledPlugins, keepTransparency
// Numbers in decimal, texts as UTF-8. disabledPlugins gets one line per name
// (plug-in file names may contain commas), or a single "disabledPlugins="
// when the list is empty. Control characters in texts are written as \xHH so
// that every setting stays on its line.
void printSettings(const Settings& settings, FILE* out);

// What `path` holds before a save: saving may only create a new file or
// replace one that already is a settings file, never anything else.
enum class SettingsTarget {
    Missing,          // a new file will be created
    Empty,            // an empty file: nothing to lose
    SettingsFile,     // header and slot table consistent with the file's size
    NotSettingsFile,  // anything else (a photograph, a text file, ...)
    Folder,
    Unreadable,  // exists but cannot be opened for reading
};
SettingsTarget inspectSettingsTarget(const char16_t* path);

// Saves the settings to `path` exactly as the program does at exit: texts
// of slots this version does not use are carried over from the file, and
// disabled plug-ins whose file is gone are dropped. Refuses (leaving the file
// untouched, with `error` set to one line) a target that is not a settings
// file; a replaced file keeps its permissions. The old file is left as it
// was when the new one cannot be written.
bool saveSettingsToFile(const char16_t* path, const Settings& settings, std::string& error);
