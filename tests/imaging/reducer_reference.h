// A deliberately plain narrowing, pixel by pixel with an index array and a
// linear nearest-colour search, used as the yardstick that the fast colour
// reducer must match byte for byte.
#pragma once

#include <cstdint>

#include "core/image_record.h"

// Narrows an 8- or 24-bit picture (bottom-up rows padded to 4 bytes) to one
// index per pixel, rows of exactly width bytes, filling `palette` (whose
// unproduced entries are left alone). False when there are no pixels or the
// source depth is not 8 or 24.
bool referenceNarrow(int32_t width, int32_t height, int sourceBits, const RgbQuad* sourcePalette,
                     const uint8_t* sourcePixels, RgbQuad* palette, uint8_t* indices);

// The lowest palette index among those at the smallest squared distance.
uint8_t referenceNearestIndex(const RgbQuad* palette, uint8_t blue, uint8_t green, uint8_t red);
