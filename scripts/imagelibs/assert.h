/* The C library's assert.h for the picture libraries built natively by
   scripts/build-imagelibs.sh (found first on their include path): a failed
   check calls moravel_library_check_failed, which the program defines and
   which raises an exception, instead of __assert_fail, which ends the
   process. Unlike __assert_fail it is declared able to throw, so the C++
   libraries keep the unwinding tables an exception needs at every check.
   No include guard: like the C library's, every inclusion sets assert anew
   for the NDEBUG in force. */
#include_next <assert.h>

#ifndef NDEBUG
#undef assert
#ifdef __cplusplus
extern "C" [[noreturn]] void moravel_library_check_failed(const char* check, const char* file,
                                                          unsigned line);
#define assert(expr) \
    (static_cast<bool>(expr) ? void(0) : moravel_library_check_failed(#expr, __FILE__, __LINE__))
#else
void moravel_library_check_failed(const char* check, const char* file, unsigned line)
    __attribute__((noreturn));
#define assert(expr) ((expr) ? (void)0 : moravel_library_check_failed(#expr, __FILE__, __LINE__))
#endif
#endif
