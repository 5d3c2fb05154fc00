#include "driver/jpeg_size_hint.h"

#include <utility>

JpegSizeHint jpegSizeHintFor(int32_t resizeOn, int32_t resizeMode, int32_t target,
                             bool storedTurned) {
    JpegSizeHint hint;
    if (!resizeOn || target == 0) return hint;
    switch (resizeMode) {
        case 0:
            hint = {true, target, 1};
            break;
        case 1:
            hint = {true, 1, target};
            break;
        case 2:
            hint = {true, target, target};
            break;
        default:
            break;
    }
    if (storedTurned) std::swap(hint.width, hint.height);
    return hint;
}
