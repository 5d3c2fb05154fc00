// A check in C++, compiled as the native picture libraries' C++ code is
// (their assert.h), in a frame with a cleanup to run on the way out.
#include <cassert>
#include <string>

extern "C" int moravel_test_check_in_cpp(int value, int* cleanups) {
    struct Cleanup {
        int* count;
        ~Cleanup() { ++*count; }
    } cleanup{cleanups};
    const std::string owned(64, 'x');
    assert(value == 0 && !owned.empty());
    return value;
}
