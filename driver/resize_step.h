// The batch driver's resize step: fits the working picture to the resize
// setting (never enlarging), widens an 8-bit picture to 24 bits through its
// palette, shrinks it with the Resampler and, when both new sides are at least
// 5 pixels, sharpens it with the SharpenEngine.
#pragma once

#include <cstdint>

#include "core/image_record.h"

class Resampler;
class SharpenEngine;

// Amount and threshold of the sharpening after a shrink.
inline constexpr int32_t kResizeSharpenAmount = 3;
inline constexpr int32_t kResizeSharpenThreshold = 20;
// Pictures narrower or lower than this are not sharpened.
inline constexpr int32_t kSharpenMinimumSide = 5;

struct ResizeTarget {
    bool shrinks = false;  // false: the picture already fits and stays as it is
    int32_t width = 0;     // the new size when it shrinks, else the old one
    int32_t height = 0;
};

// The new size for resize mode `mode` (0 by width, 1 by height, 2 by the
// longer side; any other value fits the height) and target length `target`.
// The fitted side becomes `target` when that is smaller than it; the other
// side is scaled in proportion, rounded half up and raised to at least 1.
// A target of 0 or below gives a fitted side that no shrink accepts.
ResizeTarget resizeTargetSize(int32_t mode, int32_t target, int32_t width, int32_t height);

// Resizes the picture in place. Success without change when it already fits.
// On success width, height, currentBitCount (24 after a shrink), the record's
// pixels and its header (biWidth, biHeight, biBitCount) describe the result;
// loadedBitCount is kept. On failure the picture is still consistent (at most
// widened to 24 bits, or shrunk but not sharpened) and owns one valid buffer.
// Fails when the picture or target is not usable, a buffer cannot be had, or
// the sharpening tables could not be built.
bool resizeWorkingPicture(WorkingPicture& picture, int32_t mode, int32_t target,
                          Resampler& resampler, SharpenEngine& sharpener);
