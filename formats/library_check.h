// A picture library's failed internal check costs one file, not the process.
//
// The libraries keep their asserts. Built natively they assert through
// scripts/imagelibs/assert.h, which calls moravel_library_check_failed
// (library_check.cpp): it throws LibraryCheckFailed, and the decoders' entry
// points catch it with guardLibraryCalls. (In the Windows plug-ins the host's
// guard catches the check instead: plugins/formats/susie_shell.cpp.)
#pragma once

#include <new>

#include "formats/decoded_picture.h"

extern "C" [[noreturn]] void moravel_library_check_failed(const char* check, const char* file,
                                                          unsigned line);

namespace formats {

struct LibraryCheckFailed {
    const char* check;
    const char* file;
    unsigned line;
};

// Runs a decode that calls into the libraries; nothing they throw leaves it.
// A failed check means the library met data it never expected: damaged.
template <typename Call>
DecodeStatus guardLibraryCalls(Call&& call) noexcept {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return DecodeStatus::outOfMemory;
    } catch (...) {
        return DecodeStatus::damaged;
    }
}

}  // namespace formats
