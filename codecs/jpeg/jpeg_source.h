// A libjpeg source manager over a whole file in memory. The library reads the
// bytes in place, one window at a time; when the bytes are the reader's own
// copy of the file, the pages of windows it has finished with are given back,
// so a big file is never resident as a whole while the picture is decoded or
// re-written. (A caller's bytes are read the same way but never given back.)
// When the library asks for more than the file holds it gets an end-of-image
// marker, so a truncated file ends like a complete one and the library fills
// in what is missing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/jpeg/jpeg_library.h"

struct JpegMappedSource {
    jpeg_source_mgr library;  // first, so the library's pointer is ours too
    const uint8_t* data;
    size_t size;
    size_t windowEnd;  // offset just past the window the library holds
    size_t released;   // offset up to which pages have been released
    bool releaseConsumed;
};

// Bytes handed to the library at a time.
inline constexpr size_t kJpegSourceWindow = size_t{256} << 10;

// Points the decompressor at data[0, size). `ownBytes`: the bytes are the
// reader's own copy, whose consumed pages may be given back.
void installMappedSource(j_decompress_ptr cinfo, JpegMappedSource& source, const uint8_t* data,
                         size_t size, bool ownBytes);
