// Turns a decoded picture upright by its Exif orientation (1 to 8): the
// mirror images and quarter turns that take the stored pixels to the way
// viewers show them. Works on the engine's pixel buffers: 8-bit indices or
// 24-bit blue-green-red, rows bottom-up and padded to 4 bytes.
#pragma once

#include <cstdint>

#include "core/image_record.h"

// Orientations 5 to 8 turn the picture by a quarter: width and height swap.
inline bool orientationSwapsSides(uint8_t orientation) {
    return orientation >= 5 && orientation <= 8;
}

// A new pixel buffer (from allocatePixelBuffer) holding the picture of
// width x height pixels at `pixels` turned upright for `orientation`; its
// size is height x width for 5 to 8. Null when the orientation is not 2 to 8
// (1 needs no copy), the depth is not 8 or 24, or memory cannot be had.
uint8_t* orientedPixels(const uint8_t* pixels, int32_t width, int32_t height, int bitCount,
                        uint8_t orientation);

// Turns the record upright in place: new pixels, width and height (and the
// two resolutions) swapped for 5 to 8; the palette stays. Orientation 1 or
// any value outside 2..8 leaves it unchanged. False, with the record
// unchanged, when memory cannot be had.
bool orientRecord(ImageRecord& record, uint8_t orientation);
