// A libjpeg source manager over a whole file mapped in memory. The library
// reads the mapping in place; when it asks for more than the file holds it
// gets an end-of-image marker, so a truncated file ends like a complete one
// and the library fills in what is missing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/jpeg/jpeg_library.h"

struct JpegMappedSource {
    jpeg_source_mgr library;  // first, so the library's pointer is ours too
};

// Points the decompressor at data[0, size).
void installMappedSource(j_decompress_ptr cinfo, JpegMappedSource& source, const uint8_t* data,
                         size_t size);
