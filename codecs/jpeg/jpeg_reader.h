// Decodes a JPEG file into an ImageRecord: grey pictures as 8-bit rows with
// the identity grey palette, colour and CMYK pictures as 24-bit blue-green-red
// rows, bottom-up. With the size hint on, the library decodes a picture that
// is at least 2, 4 or 8 times the hinted size in both directions at 1/2, 1/4
// or 1/8 of its size, because it is going to be shrunk anyway.
#pragma once

#include <cstdint>

#include "codecs/jpeg/jpeg_error.h"
#include "codecs/mapped_input.h"
#include "core/image_record.h"
#include "imaging/colour_profile.h"

class JpegReader : public ReaderEntries<JpegReader> {
  public:
    JpegReader() = default;
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    // Fills `record` (or a record allocated from the private heap when null)
    // and returns it; null on failure, with the pixel pointer left null.
    // The entries read(path, record) and readMemory(data, size, record) come
    // from ReaderEntries.

    // The size the picture will be shrunk to: (target, 1) for a width,
    // (1, target) for a height, (target, target) for the longer side. A side
    // of 0 counts as no hint. Kept until changed.
    void setSizeHint(bool enabled, uint32_t width, uint32_t height);
    bool sizeHintEnabled() const { return hintEnabled_; }

    // The source's CMYK colour profile (null: none). A CMYK picture then
    // goes through it to sRGB instead of the plain ink product; other
    // pictures and other profiles are not affected. The transform must
    // outlive the reads; kept until changed.
    void setCmykProfile(const imaging::ColourTransform* profile) { cmykProfile_ = profile; }
    // The last picture's colours went through that profile.
    bool cmykProfileApplied() const { return cmykProfileApplied_; }

    uint32_t status() const { return input_.status; }
    // The last file was damaged (the library warned): it was decoded as far
    // as its data goes, the missing parts filled.
    bool damaged() const { return damaged_; }
    // The library's text for the last failure, empty when there was none.
    const char16_t* messageText() const { return messageText_; }

  private:
    friend class ReaderEntries<JpegReader>;
    ImageRecord* readFrom(const ReadSource& source, ImageRecord* record);

    MappedInput input_;
    bool hintEnabled_ = false;
    bool damaged_ = false;
    bool cmykProfileApplied_ = false;
    const imaging::ColourTransform* cmykProfile_ = nullptr;
    uint32_t hintWidth_ = 0;
    uint32_t hintHeight_ = 0;
    char16_t messageText_[kJpegMessageCapacity] = {};
};

// The library's scale denominator for a picture of the given size under a
// hint: r = min(width / hintWidth, height / hintHeight); 8, 4 or 2 when r is
// at least that, else 1. A hint side of 0 gives 1.
unsigned jpegScaleDenominator(uint32_t imageWidth, uint32_t imageHeight, uint32_t hintWidth,
                              uint32_t hintHeight);
