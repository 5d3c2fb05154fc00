// A reader of last resort that the front end may hand to the batch driver:
// it gets every file that no entry of the format table decodes (the Windows
// program and moravel.exe pass the image plug-in host, moravel on Linux the
// libraries' decoders). The engine knows only this interface, never what is
// behind it.
#pragma once

#include "codecs/source_bytes.h"
#include "core/image_record.h"
#include "driver/codec_results.h"

class FallbackReader {
  public:
    virtual ~FallbackReader() = default;
    // Decodes the source at `path`, whose whole content the driver has read
    // into `bytes`, into the record as a table reader does (palette cleared,
    // header filled, pixels from allocatePixelBuffer, sourceFormat, size and
    // time set). A reader that reads the file again by its path leaves the
    // check that it did not change meanwhile to the driver. Not ok, with no
    // pixels left in the record, when it cannot; the status then says why
    // (0: nothing more to say than that no reader takes the file).
    virtual ReadResult read(const char16_t* path, const SourceBytes& bytes,
                            ImageRecord& record) = 0;
};
