// Re-writes a JPEG file without decoding it to pixels: the DCT coefficients
// are copied unchanged, the entropy coding is rebuilt with optimised Huffman
// tables, every application and comment marker (EXIF, ICC profile, ...) is
// dropped and a fresh JFIF header is written.
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
    void resetOptions() { progressive_ = false; }
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
    bool damaged_ = false;
    char16_t messageText_[kJpegMessageCapacity] = {};
};
