// Median cut over the distinct colours of a picture, each weighted by its
// number of pixels. Splitting distinct colours with weights gives exactly the
// boxes that splitting the pixels one by one would give, in far less time.
#pragma once

#include <cstdint>

#include "core/image_record.h"

namespace reducer {

struct WeightedColor {
    uint32_t key;    // B + 256 G + 65536 R
    uint32_t count;  // pixels of that colour
};

// Splits the colours into `boxes` boxes (at most 256) and writes each box's
// per-channel median (B, G, R only) into palette entries 0..boxes-1 in box
// creation order. Needs more than `boxes` distinct colours (every split then
// finds a box with two values); `colors` is reordered in place.
void medianCut(WeightedColor* colors, uint32_t count, int boxes, RgbQuad* palette);

}  // namespace reducer
