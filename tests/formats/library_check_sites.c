/* A check in C, compiled as the native picture libraries' C code is (their
   assert.h, unwinding tables): a failed one must cross this frame. */
#include <assert.h>

int moravel_test_check_in_c(int value) {
    assert(value == 0);
    return value;
}
