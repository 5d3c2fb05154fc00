// A reader of last resort that the front end may hand to the batch driver:
// it gets every file that no native reader decodes (the Windows program and
// moravel.exe pass the image plug-in host). The engine knows only this
// interface, never what is behind it.
#pragma once

#include <cstdint>

#include "codecs/source_bytes.h"
#include "core/image_record.h"

// What one read noticed besides its success, filled by the reader.
struct FallbackReport {
    // Decoded, but the source's data ran short: the missing part is left as
    // the pixel buffer's zero fill.
    bool damaged = false;
    // On failure, a CodecStatus that says why (0: nothing more to say than
    // that no reader takes the file).
    uint32_t status = 0;
};

class FallbackReader {
  public:
    virtual ~FallbackReader() = default;
    // Decodes the source at `path`, whose whole content the driver has read
    // into `bytes`, into the record as a native reader does (palette cleared,
    // header filled, pixels from allocatePixelBuffer, sourceFormat, size and
    // time set). A reader that reads the file again by its path leaves the
    // check that it did not change meanwhile to the driver. False, with no
    // pixels left in the record, when it cannot. The report starts out zeroed.
    virtual bool read(const char16_t* path, const SourceBytes& bytes, ImageRecord& record,
                      FallbackReport& report) = 0;
};
