// The per-batch codec contexts: one long-lived object per reader, writer and
// filter, created at the start of a batch and released at its end.
#pragma once

#include <cstdint>

#include "codecs/metadata/source_metadata.h"
#include "codecs/source_bytes.h"
#include "core/image_record.h"
#include "core/picture_to_write.h"
#include "core/settings.h"
#include "driver/jpeg_size_hint.h"
#include "imaging/colour_profile.h"

class CodecContexts {
  public:
    // Null when memory for any context cannot be had.
    static CodecContexts* create();
    ~CodecContexts();
    CodecContexts(const CodecContexts&) = delete;
    CodecContexts& operator=(const CodecContexts&) = delete;

    // Decodes a source read whole, of the detected format, into the record.
    // When keep-transparency is on, PNG and GIF sources report their
    // transparent colour.
    // `cmykProfile`: the source's own CMYK profile, which a CMYK JPEG's inks
    // go through while they are decoded (null: none).
    bool read(ImageFormat format, SourceBytes& source, ImageRecord& record,
              const JpegSizeHint& hint, bool keepTransparency, TransparentColor& transparent,
              const imaging::ColourTransform* cmykProfile);
    // Writes the picture in the output format to `path`.
    bool write(OutputFormat format, const char16_t* path, const PictureToWrite& picture,
               const Settings& settings);
    // Re-writes a JPEG, read whole, losslessly without its metadata, except
    // the colour profile and orientation found in it (`metadata`).
    bool copyJpeg(SourceBytes& source, const SourceMetadata& metadata, const char16_t* destination);
    // Shrinks (and sharpens) the working picture.
    bool resize(WorkingPicture& picture, int32_t mode, int32_t target);

    // Status of the codec used last (0 when none was used).
    uint32_t lastStatus() const { return lastStatus_; }
    // The last read or JPEG re-write met damaged data and filled what was missing.
    bool lastReadDamaged() const { return readDamaged_; }
    // The last read went through the CMYK profile it was given.
    bool lastReadTookCmykProfile() const { return tookCmykProfile_; }
    // The last write was a size-limited JPEG still above its limit at quality
    // 1 (written all the same), and the size of that file.
    bool lastWriteAboveLimit() const { return aboveLimit_; }
    uint64_t lastWrittenBytes() const { return writtenBytes_; }

  private:
    CodecContexts() = default;
    struct Members;
    Members* members_ = nullptr;
    uint32_t lastStatus_ = 0;
    bool readDamaged_ = false;
    bool tookCmykProfile_ = false;
    bool aboveLimit_ = false;
    uint64_t writtenBytes_ = 0;
};
