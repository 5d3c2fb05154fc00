// A reader of last resort that the front end may hand to the batch driver:
// it gets every file that no native reader decodes (the Windows program and
// moravel.exe pass the image plug-in host). The engine knows only this
// interface, never what is behind it.
#pragma once

#include "codecs/source_bytes.h"
#include "core/image_record.h"

class FallbackReader {
  public:
    virtual ~FallbackReader() = default;
    // Decodes the source at `path`, whose whole content the driver has read
    // into `bytes`, into the record as a native reader does (palette cleared,
    // header filled, pixels from allocatePixelBuffer, sourceFormat, size and
    // time set). A reader that reads the file again by its path leaves the
    // check that it did not change meanwhile to the driver. False, with no
    // pixels left in the record, when it cannot.
    virtual bool read(const char16_t* path, const SourceBytes& bytes, ImageRecord& record) = 0;
};
