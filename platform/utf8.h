// UTF-16 <-> UTF-8 conversion: for POSIX system calls and terminal output.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Appends one code point as UTF-8.
void appendUtf8(std::string& out, char32_t c);
// Converts n UTF-16 code units (NULs included); unpaired surrogates become U+FFFD.
std::string toUtf8(const char16_t* text, size_t n);
// Converts a NUL-terminated UTF-16 text.
std::string toUtf8(const char16_t* text);
// Converts UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::u16string fromUtf8(const char* text);

}  // namespace platform
