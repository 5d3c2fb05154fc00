// Delivering a finished file into the output folder (Windows): a hidden copy
// flushed to the disk, then a move that never replaces anything.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace platform {

namespace {
const wchar_t* wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
}  // namespace

bool nameTaken(const char16_t* path) {
    if (!path || !*path) return false;
    // The attributes of a link are its own: a link to nothing holds its name.
    if (GetFileAttributesW(wide(path)) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool createHiddenFile(const char16_t* folder, File& file, char16_t* buffer, size_t capacity) {
    if (!folder || !*folder) return false;
    const size_t length = textLength(folder);
    const bool separator = folder[length - 1] == u'\\' || folder[length - 1] == u'/';
    static LONG counter = 0;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const unsigned mix = (GetCurrentProcessId() * 2654435761u) ^ GetTickCount() ^
                             (static_cast<unsigned>(InterlockedIncrement(&counter)) << 8);
        char name[16];
        std::snprintf(name, sizeof name, "~mv%04X.tmp", mix & 0xFFFF);
        const size_t nameLength = std::strlen(name);
        const size_t total = length + (separator ? 0 : 1) + nameLength;
        if (total + 1 > capacity) return false;
        std::memcpy(buffer, folder, length * sizeof(char16_t));
        size_t at = length;
        if (!separator) buffer[at++] = u'\\';
        for (size_t i = 0; i < nameLength; ++i) buffer[at++] = static_cast<char16_t>(name[i]);
        buffer[at] = 0;
        if (file.createNew(buffer)) {
            SetFileAttributesW(wide(buffer), FILE_ATTRIBUTE_HIDDEN);
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

RenameOutcome renameNoReplace(const char16_t* from, const char16_t* to) {
    if (!from || !*from || !to || !*to) return RenameOutcome::Failed;
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    if (MoveFileExW(wide(from), wide(to), MOVEFILE_WRITE_THROUGH)) {
        SetFileAttributesW(wide(to), FILE_ATTRIBUTE_NORMAL);
        return RenameOutcome::Renamed;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? RenameOutcome::NameTaken
                                                                       : RenameOutcome::Failed;
}

}  // namespace platform
