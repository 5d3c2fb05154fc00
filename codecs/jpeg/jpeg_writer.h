// Encodes a picture as a baseline JPEG with optimised Huffman tables, either
// straight into a file or, under a file-size limit, into memory while a
// halving search looks for the highest quality whose encoding fits.
#pragma once

#include <cstdint>

#include "codecs/codec_status.h"
#include "codecs/jpeg/jpeg_destination.h"
#include "codecs/jpeg/jpeg_error.h"
#include "core/picture_to_write.h"
#include "imaging/color_reducer.h"
#include "platform/owned_memory.h"

class JpegWriter {
  public:
    JpegWriter() = default;
    JpegWriter(const JpegWriter&) = delete;
    JpegWriter& operator=(const JpegWriter&) = delete;

    // Quality 75, sampling 2 x 2, greyscale and progressive off.
    void reset();
    // Handed to the library unchanged (it treats values below 1 as 1 and
    // above 100 as 100).
    void setQuality(int32_t quality) { quality_ = quality; }
    int32_t quality() const { return quality_; }
    // Sampling factors of the first (luma) component: (2, 2), (2, 1) or (1, 1).
    void setSamplingFactors(int32_t horizontal, int32_t vertical);
    // A one-component grey file instead of a colour one.
    void setGreyscale(bool on) { greyscale_ = on; }
    // A progressive file instead of a baseline one.
    void setProgressive(bool on) { progressive_ = on; }

    // Writes the picture (8-bit rows are widened to 24 bits first). False on
    // failure; the file may then hold a partial encoding and is the caller's
    // to delete.
    bool write(const char16_t* path, const PictureToWrite& picture);
    // Writes the encoding at the highest quality (at most the set one) the
    // halving search finds within the limit; limitKiB is taken modulo 2^24.
    // When even quality 1 is too large, that encoding is written. The chosen
    // quality stays set until the next call of setQuality or reset.
    bool writeLimited(const char16_t* path, const PictureToWrite& picture, uint32_t limitKiB);

    uint32_t status() const { return status_; }
    const char16_t* messageText() const { return messageText_; }
    // Encodings made by the last write (1 for a plain write).
    int encodingCount() const { return encodings_; }
    // After a successful limited write: its size in bytes, and whether even
    // quality 1 stayed above the limit (the file is written all the same).
    uint64_t writtenBytes() const { return writtenBytes_; }
    bool aboveLimit() const { return aboveLimit_; }

  private:
    struct Rows {
        const uint8_t* pixels = nullptr;  // bottom-up 24-bit rows
        uint32_t stride = 0;
        platform::PageBuffer converted;  // widening buffer, released after the write
    };
    bool prepareRows(const PictureToWrite& picture, Rows& rows);
    // One encoding into the file or, when `file` is null, into `memory`.
    bool encode(const PictureToWrite& picture, const Rows& rows, int32_t quality,
                platform::File* file, JpegMemoryDestination* memory);

    ColorReducer reducer_;
    int32_t quality_ = 75;
    int32_t horizontalSampling_ = 2;
    int32_t verticalSampling_ = 2;
    bool greyscale_ = false;
    bool progressive_ = false;
    uint32_t status_ = kStatusOk;
    int encodings_ = 0;
    uint64_t writtenBytes_ = 0;
    bool aboveLimit_ = false;
    char16_t messageText_[kJpegMessageCapacity] = {};
};

// The driver's mapping of its settings: quality above 100 becomes 75; sampling
// setting 1 gives (2, 1), 2 gives (1, 1), anything else (2, 2).
int32_t jpegQualityForSetting(int32_t setting);
void jpegSamplingForSetting(int32_t setting, int32_t& horizontal, int32_t& vertical);
