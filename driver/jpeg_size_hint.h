// The size hint that lets the JPEG reader decode a large photo already scaled
// down when it is going to be shrunk anyway.
#pragma once

#include <cstdint>

struct JpegSizeHint {
    bool enabled = false;
    int32_t width = 0;
    int32_t height = 0;
};

// From the resize switch, mode and target: (S, 1) by width, (1, S) by height,
// (S, S) by longer side; disabled when resizing is off, S is 0 or the mode is
// unknown. The target applies to the upright picture: `storedTurned` (an
// orientation of 5 to 8) swaps the two sides, since the stored width is then
// the upright height.
JpegSizeHint jpegSizeHintFor(int32_t resizeOn, int32_t resizeMode, int32_t target,
                             bool storedTurned = false);
