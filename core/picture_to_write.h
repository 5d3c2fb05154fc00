// What the driver hands to a writer: the working picture's pixels and the
// header values it keeps current, plus the transparent colour when kept.
#pragma once

#include <cstdint>

#include "core/image_record.h"

struct PictureToWrite {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t currentBitCount = 24;     // layout of `pixels`: 8 or 24
    uint16_t loadedBitCount = 24;      // depth the reader delivered
    int32_t horizontalResolution = 0;  // pixels per metre, 0 when unknown
    int32_t verticalResolution = 0;
    const RgbQuad* palette = nullptr;         // 256 entries, for 8-bit pixels
    const uint8_t* pixels = nullptr;          // bottom-up rows padded to 4 bytes
    bool transparent = false;                 // keep a transparent colour
    const uint8_t* transparentRgb = nullptr;  // red, green, blue
};
