// The pixel layouts of PNG rows and their conversion into record rows: every
// sample is reduced to 8 bits (the high byte of 16-bit samples), palette and
// gray rows become one index byte per pixel, colour rows blue, green, red, and
// alpha goes to a separate plane.
#pragma once

#include <cstddef>
#include <cstdint>

namespace png {

enum class PixelLayout {
    Packed,  // depth 1, 2 or 4, gray or palette
    Gray8,   // 8-bit gray or palette index
    GrayAlpha8,
    Gray16,
    GrayAlpha16,
    Rgb8,
    Rgba8,
    Rgb16,
    Rgba16,
};

struct LayoutInfo {
    PixelLayout layout;
    int filterBytesPerPixel;  // byte distance of the Sub, Average and Paeth filters
    int outputBits;           // 8 or 24
    bool hasAlpha;
    bool highBytesOnly;  // 16-bit samples: only the high bytes are used
};

// The layout for a bit depth and colour type; false when the pair is not one
// that PNG allows.
bool layoutFor(int bitDepth, int colourType, LayoutInfo& info);

// Where one reconstructed PNG row goes.
struct RowOutput {
    uint8_t* pixels;      // record byte of the row's first pixel
    uint8_t* alpha;       // alpha-plane byte of the row's first pixel (alpha layouts)
    uint32_t count;       // pixels in the row
    uint32_t columnStep;  // distance in pixels between two decoded pixels
    int bitDepth;         // packed layouts: 1, 2 or 4
};

// Converts the data bytes of one reconstructed row (after the filter byte).
using RowConverter = void (*)(const uint8_t* row, const RowOutput& out);
RowConverter converterFor(PixelLayout layout);

// Bytes of one PNG row of `pixels` pixels, filter byte included.
uint64_t rowLength(uint64_t pixels, int bitDepth, int filterBytesPerPixel);

}  // namespace png
