// The error manager shared by every libjpeg object of the codec: the
// library's standard manager whose error_exit formats the message into the
// context's MessageText and jumps back to the target the caller set with
// setjmp before creating the library object. The jump never crosses a frame
// that holds a C++ object with a destructor: the functions that call setjmp
// keep all their state in plain structs.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>

#include "codecs/jpeg/jpeg_library.h"

// Characters of a context's MessageText, terminator included.
inline constexpr size_t kJpegMessageCapacity = 200;

struct JpegErrorManager {
    jpeg_error_mgr library;  // first, so the library's pointer is ours too
    std::jmp_buf jumpTarget;
    char16_t* messageText;  // kJpegMessageCapacity characters
    // The CodecStatus of the error that ended the call (kStatusOk until one
    // does). Warnings are not printed: library.num_warnings counts them, and
    // a count above 0 means the data was damaged and decoded as far as it
    // goes, the missing parts filled.
    uint32_t failureStatus;
};

// Fills `manager` with the library's defaults plus our error_exit and silent
// warnings, and returns the pointer to hand to the library object (cinfo.err).
jpeg_error_mgr* installJpegErrorManager(JpegErrorManager& manager, char16_t* messageText);

// Ends the current library call with our own message text (for limits the
// library itself does not enforce).
[[noreturn]] void failJpegCall(j_common_ptr cinfo, const char* message);
