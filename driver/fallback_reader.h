// A reader of last resort that the front end may hand to the batch driver:
// it gets every file that no native reader decodes (the Windows program and
// moravel.exe pass the image plug-in host). The engine knows only this
// interface, never what is behind it.
#pragma once

#include "core/image_record.h"

class FallbackReader {
  public:
    virtual ~FallbackReader() = default;
    // Decodes `path` into the record as a native reader does (palette
    // cleared, header filled, pixels from allocatePixelBuffer, sourceFormat
    // set). False, with no pixels left in the record, when it cannot.
    virtual bool read(const char16_t* path, ImageRecord& record) = 0;
};
