// Writer of uncompressed Windows bitmaps with a 40-byte info header, at 8
// bits (full 256-entry colour table) or 24 bits. The depth written is the
// depth the picture was loaded at; rows of another depth (a picture widened
// for resizing) are converted with the writer's colour reducer.
#pragma once

#include <cstdint>

#include "codecs/codec_status.h"
#include "core/picture_to_write.h"
#include "imaging/color_reducer.h"

class BmpWriter {
  public:
    BmpWriter() = default;
    BmpWriter(const BmpWriter&) = delete;
    BmpWriter& operator=(const BmpWriter&) = delete;

    // Writes `picture` to `path` (created or truncated) at the picture's
    // loadedBitCount (8 or 24), converting from its currentBitCount when they
    // differ. Returns true when the whole file was written; on failure
    // status() tells why and the caller deletes the file.
    bool write(const char16_t* path, const PictureToWrite& picture);
    uint32_t status() const { return status_; }

  private:
    bool fail(uint32_t status);
    // Fills headers_ for a file of `paletteEntries` colours and `imageSize`
    // bytes of rows at `bitCount` per pixel.
    void buildHeaders(int32_t width, int32_t height, uint16_t bitCount, uint32_t paletteEntries,
                      uint32_t imageSize);

    ColorReducer reducer_;
    uint8_t headers_[54] = {};  // file header + info header
    int32_t horizontalResolution_ = 0;
    int32_t verticalResolution_ = 0;
    uint32_t status_ = kStatusOk;
};
