// UTF-16 to UTF-8 conversion for POSIX system calls.
#pragma once

#include <string>

namespace platform {

// Converts a NUL-terminated UTF-16 text; unpaired surrogates become U+FFFD.
std::string toUtf8(const char16_t* text);
// Converts UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::u16string fromUtf8(const char* text);

}  // namespace platform
