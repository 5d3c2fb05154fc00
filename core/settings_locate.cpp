#include "core/settings_locate.h"

#include <utility>

#include "core/path_limits.h"
#include "platform/platform.h"

namespace {
constexpr const char16_t* kProgramName = u"Pirex";
constexpr const char16_t* kSettingsFileName = u"Pirex.ini";
}  // namespace

bool locateSettingsFile(const char16_t* programPath, const char16_t* appDataFolder,
                        SettingsLocation& location) {
    location.programFolder.clear();
    location.settingsFile.clear();

    // The program's name without extension must be "Pirex".
    HeapString path;
    if (!path.assign(programPath ? programPath : u"")) return false;
    const long dot = extensionDot(path.c_str(), path.length());
    if (dot >= 0) path.truncate(static_cast<uint32_t>(dot));
    const long separator = lastSeparator(path.c_str(), path.length());
    if (separator < 0 || !sameName(path.c_str() + separator + 1, kProgramName)) return false;

    // Its folder; a root folder ("/" or a drive root) keeps its separator.
    uint32_t folderLength = static_cast<uint32_t>(separator);
    if (separator == 0 || (separator == 2 && path.at(1) == u':')) ++folderLength;
    if (!location.programFolder.assign(path.c_str(), folderLength)) return false;

    // A file next to the program wins.
    HeapString candidate;
    if (!candidate.assign(location.programFolder.c_str(), folderLength) ||
        !candidate.appendPath(kSettingsFileName))
        return false;
    if (platform::pathExists(candidate.c_str()) && !platform::isDirectory(candidate.c_str())) {
        location.settingsFile = std::move(candidate);
        return true;
    }

    // Otherwise the program's own folder under the application-data folder.
    if (!appDataFolder || !*appDataFolder) return false;
    HeapString folder;
    if (!folder.assign(appDataFolder) || !folder.appendPath(kProgramName)) return false;
    if (!platform::pathExists(folder.c_str()) && !platform::createDirectory(folder.c_str()) &&
        !platform::pathExists(folder.c_str()))
        return false;
    if (!folder.appendPath(kSettingsFileName)) return false;
    location.settingsFile = std::move(folder);
    return true;
}

bool locateSettings(SettingsLocation& location) {
    char16_t program[kSystemPathCapacity];
    if (platform::programPath(program, kSystemPathCapacity) == 0) return false;
    char16_t appData[kSystemPathCapacity];
    const bool haveAppData = platform::appDataFolder(appData, kSystemPathCapacity) != 0;
    if (!locateSettingsFile(program, haveAppData ? appData : nullptr, location)) return false;
    return platform::setCurrentDirectory(location.programFolder.c_str());
}
