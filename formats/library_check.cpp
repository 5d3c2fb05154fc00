#include "formats/library_check.h"

// Called by the natively built libraries' assert (scripts/imagelibs/assert.h)
// in place of the C library's __assert_fail, which would end the batch.
extern "C" [[noreturn]] void moravel_library_check_failed(const char* check, const char* file,
                                                          unsigned line) {
    throw formats::LibraryCheckFailed{check, file, line};
}
