// The files named on the command line, made absolute before the batch: the
// driver takes the output folder from the first source's folder, so a bare
// name ("fog.jpg"), "..", and on Windows a drive-relative ("C:fog.jpg") or
// forward-slash path must already say which folder they are in.
#pragma once

#include <string>

// The absolute form of `path`, relative to the current folder. On Windows
// the system's own rules apply (GetFullPathNameW); elsewhere "." and ".."
// are resolved against the real folder. An empty path stays empty.
std::u16string absolutePath(const std::u16string& path);

enum class SourceKind { File, Missing, Folder };
SourceKind classifySource(const std::u16string& absolute);
