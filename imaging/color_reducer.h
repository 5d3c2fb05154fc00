// Converts pictures between 8-bit indexed and 24-bit colour for the writers:
// widening looks indices up in the palette; narrowing builds an exact palette
// (at most 256 colours) or a median-cut palette with nearest-colour mapping.
// No dithering. Each writer context embeds one reducer.
#pragma once

#include <cstdint>

#include "core/image_record.h"
#include "platform/owned_memory.h"

class ColorReducer {
  public:
    ColorReducer() = default;
    ColorReducer(const ColorReducer&) = delete;
    ColorReducer& operator=(const ColorReducer&) = delete;

    // Stores the geometry and computes the target row bytes, stride and image
    // size (0 when they do not fit in 32 bits). Negative sides count as 0.
    void configure(int32_t width, int32_t height, int32_t sourceBits, int32_t targetBits);

    // Rows in the layout of a bottom-up DIB at the target stride. Pairs
    // (8, 8), (8, 24) and (24, 8) only. The destination buffer holds at least
    // targetImageSize() bytes; the destination palette 256 entries, of which
    // only the produced ones are written (callers pass a zeroed table).
    bool convertPacked(const RgbQuad* sourcePalette, const uint8_t* sourcePixels,
                       RgbQuad* destinationPalette, uint8_t* destinationPixels);
    // One index byte per pixel, rows of exactly width bytes; source 8 or 24
    // bits, target 8.
    bool convertToIndices(const RgbQuad* sourcePalette, const uint8_t* sourcePixels,
                          RgbQuad* destinationPalette, uint8_t* destinationIndices);

    int32_t targetRowBytes() const { return targetRowBytes_; }
    int32_t targetStride() const { return targetStride_; }
    uint32_t targetImageSize() const { return targetImageSize_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

  private:
    bool ensureSquareTable();
    // Narrows the source to at most 256 colours, writing one index per pixel
    // into rows of `outputStride` bytes (padding bytes are zeroed).
    bool narrow(uint8_t* output, uint64_t outputStride);
    bool widen(uint8_t* output) const;

    const RgbQuad* sourcePalette_ = nullptr;
    RgbQuad* destinationPalette_ = nullptr;
    const uint8_t* sourcePixels_ = nullptr;
    uint8_t* destinationPixels_ = nullptr;
    int32_t targetRowBytes_ = 0;
    int32_t targetStride_ = 0;
    int32_t workStride_ = 0;
    uint32_t targetImageSize_ = 0;
    platform::HeapBlock squareStorage_;  // 511 entries
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t sourceBits_ = 0;
    int32_t targetBits_ = 0;
    const int32_t* squareCentre_ = nullptr;  // entry for difference 0
};
