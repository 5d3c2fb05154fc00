// Output file names: never overwrite, append "+n" on collision.
#pragma once

#include "core/heap_string.h"
#include "core/path_limits.h"

// Longest path the program forms, in characters (without the terminator).

// output folder + separator + the source's file name without its extension
// + the format's extension.
bool outputPathFor(const char16_t* outputFolder, const char16_t* source, const char16_t* extension,
                   HeapString& out);

// Makes `path` a name nothing holds yet (a link to nothing holds its name):
// path itself, else stem+1.ext ... stem+9999.ext. False when no free name is
// found or a candidate would exceed 259 characters.
bool makeUniqueOutputName(HeapString& path, const char16_t* extension);
