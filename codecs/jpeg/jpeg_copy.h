// Re-writes a JPEG file without decoding it to pixels: the DCT coefficients
// are copied unchanged, the entropy coding is rebuilt with optimised Huffman
// tables, every application and comment marker (Exif, ICC profile, ...) is
// dropped and a fresh JFIF header is written. What the picture needs to look
// the same can be carried over: its colour profile and its orientation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/codec_status.h"
#include "codecs/jpeg/jpeg_error.h"
#include "codecs/mapped_input.h"

class JpegCopy {
  public:
    JpegCopy() = default;
    JpegCopy(const JpegCopy&) = delete;
    JpegCopy& operator=(const JpegCopy&) = delete;

    // Back to the plain re-write: no transformation, no markers copied,
    // progressive output off. The driver calls it before every file.
    void resetOptions() {
        progressive_ = false;
        orientation_ = 1;
        iccProfile_ = nullptr;
        iccSize_ = 0;
    }
    // Writes an Exif block holding only this orientation (2 to 8; 1, the
    // default, writes none): no camera, date, place or thumbnail goes along.
    void setOrientation(uint8_t orientation) { orientation_ = orientation; }
    // Writes this ICC profile in APP2 "ICC_PROFILE" chunks (null: none). The
    // bytes must stay valid through transcode().
    void setIccProfile(const uint8_t* profile, size_t size) {
        iccProfile_ = profile;
        iccSize_ = profile ? size : 0;
    }
    // Writes the coefficients as a progressive file instead of a sequential one.
    void setProgressive(bool on) { progressive_ = on; }

    // Re-writes `source` into `destination`. The source is opened for
    // reading only and read into private memory, so a read-only file can be
    // re-written and nothing done to the bytes can reach it.
    // False on failure; the destination may then hold a partial file and is
    // the caller's to delete.
    bool transcode(const char16_t* source, const char16_t* destination);
    // The same from a whole file's bytes already in memory (read in place,
    // never changed).
    bool transcode(const uint8_t* data, size_t size, const char16_t* destination);
    // The same from a whole file the caller has read (the batch driver).
    bool transcode(SourceBytes& source, const char16_t* destination);

    uint32_t status() const { return input_.status; }
    // The last source was damaged (the library warned); its missing parts
    // were filled.
    bool damaged() const { return damaged_; }
    const char16_t* messageText() const { return messageText_; }

  private:
    // Re-writes the opened input into `destination`, then closes the input.
    bool transcodeInput(const char16_t* destination);

    MappedInput input_;
    bool progressive_ = false;
    uint8_t orientation_ = 1;
    const uint8_t* iccProfile_ = nullptr;
    size_t iccSize_ = 0;
    bool damaged_ = false;
    char16_t messageText_[kJpegMessageCapacity] = {};
};
