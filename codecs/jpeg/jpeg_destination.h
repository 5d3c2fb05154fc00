// libjpeg destination managers: one that writes a file through a 1 MiB
// buffer, and one that encodes into a page buffer in memory. The memory
// destination never writes past its buffer: when the encoding outgrows it,
// the buffer is replaced by one twice as large (the encoded file of a tiny
// picture can be larger than its pixels).
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/jpeg/jpeg_library.h"
#include "platform/platform.h"

inline constexpr size_t kJpegFileBufferBytes = 1u << 20;

struct JpegFileDestination {
    jpeg_destination_mgr library;  // first, so the library's pointer is ours too
    platform::File* file;
    JOCTET* buffer;  // from the library's image pool
};

// Writes through `file`; a short write ends the library call with its
// JERR_FILE_WRITE error.
void installFileDestination(j_compress_ptr cinfo, JpegFileDestination& destination,
                            platform::File& file);

struct JpegMemoryDestination {
    jpeg_destination_mgr library;
    uint8_t* buffer;     // page allocation of capacity + 4 bytes, owned by the caller
    size_t capacity;     // bytes the encoding may use
    size_t encodedSize;  // set when the encoding ends
};

// Allocates a zero-filled buffer for `capacity` bytes (plus 4 spare bytes).
// False when it cannot be had; the destination then holds no buffer.
bool allocateMemoryDestination(JpegMemoryDestination& destination, size_t capacity);
// Releases the buffer (also when it was replaced while encoding).
void releaseMemoryDestination(JpegMemoryDestination& destination);
// Encodes into the destination's buffer from its start.
void installMemoryDestination(j_compress_ptr cinfo, JpegMemoryDestination& destination);
