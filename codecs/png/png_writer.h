// PNG encoder for the driver's picture: 8-bit truecolour with an adaptive
// filter per row, or a palette image (filter None) with a compacted palette;
// pHYs for the resolution, tRNS and bKGD for a kept transparent colour, and
// all rows deflated at level 9 into one IDAT chunk.
#pragma once

#include <cstdint>

#include "codecs/png/png_status.h"
#include "core/picture_to_write.h"
#include "imaging/color_reducer.h"
#include "platform/platform.h"

class PngWriter {
  public:
    PngWriter() = default;
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    // Writes the picture to `path`: a palette image when the picture's loaded
    // bit count is 1, 2, 4 or 8, truecolour when it is 24. The pixels are in
    // the picture's current bit count (8 or 24). On failure the partly
    // written file is left for the caller to delete.
    bool write(const char16_t* path, const PictureToWrite& picture);
    uint32_t status() const { return status_; }

  private:
    class ChunkSink;
    bool writeTruecolour(ChunkSink& sink, const PictureToWrite& picture, uint8_t* imageData,
                         uint8_t* rowBuffers);
    bool writePalette(ChunkSink& sink, const PictureToWrite& picture, uint8_t* imageData);
    bool compress(ChunkSink& sink, const uint8_t* imageData, uint32_t size);
    void fail(uint32_t status) {
        if (status_ == kStatusOk) status_ = status;
    }

    ColorReducer reducer_;
    uint32_t status_ = kStatusOk;
    int bitDepth_ = 0;
    int colourType_ = 0;
    uint32_t rowLength_ = 0;
    int paletteCount_ = 0;
};
