// Writes the working picture as a single-image GIF 89a file with a 256-entry
// global colour table made by the colour reducer, and a graphic control
// extension when a transparent colour is to be kept.
#pragma once

#include <cstdint>

#include "codecs/codec_status.h"
#include "core/picture_to_write.h"
#include "imaging/color_reducer.h"

class GifWriter {
  public:
    GifWriter() = default;
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;

    // Writes `picture` (8- or 24-bit bottom-up rows) to `path`, creating or
    // truncating the file. With picture.transparent set, the palette entry
    // equal (or else nearest) to picture.transparentRgb is declared
    // transparent. False with status() telling why.
    bool write(const char16_t* path, const PictureToWrite& picture);
    uint32_t status() const { return status_; }

    // Stores rows in the four-pass interlaced order. Off unless set.
    void setInterlace(bool on) { interlace_ = on; }

  private:
    bool fail(uint32_t status) {
        status_ = status;
        return false;
    }

    ColorReducer reducer_;
    bool interlace_ = false;
    uint32_t status_ = kStatusOk;
};

// The palette entry that stands for `rgb` (red, green, blue): the first entry
// equal to it, else the nearest by the sum of squared differences (the lowest
// index among equals).
uint8_t gifTransparentIndex(const RgbQuad* palette, const uint8_t* rgb);
