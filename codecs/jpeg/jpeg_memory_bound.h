// Memory bounds of a JPEG decoding, checked between jpeg_read_header and the
// call that makes the library allocate for the whole picture
// (jpeg_start_decompress or jpeg_read_coefficients). A progressive or
// multi-scan file and every lossless re-write keep all coefficients of the
// picture (128 bytes per 8 x 8 block), and a progressive file is read whole
// inside jpeg_start_decompress: both must be refused before that call.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "codecs/jpeg/jpeg_library.h"

// The engine's picture limit, as far as the library's `long` can hold it
// (2 GiB - 1 where long has 32 bits).
inline constexpr uint64_t kJpegMemoryLimit = (uint64_t{1} << 32) < static_cast<uint64_t>(LONG_MAX)
                                                 ? uint64_t{1} << 32
                                                 : static_cast<uint64_t>(LONG_MAX);

// Caps the library's own allocations of a decompressor or compressor.
void limitJpegMemory(j_common_ptr cinfo);

// Bytes of the whole-picture coefficient arrays the library allocates, from
// the frame header (valid after jpeg_read_header).
uint64_t jpegCoefficientBytes(const jpeg_decompress_struct& cinfo);

// Why the picture must be refused (status 50002), or null when it may be
// decoded: its coefficients would exceed kJpegMemoryLimit, or the picture is
// large and the file is far too short to hold its blocks (size_bounds).
// `wholeCoefficients`: the caller keeps every coefficient at once (re-write);
// otherwise only multi-scan files do.
const char* jpegPictureRefusal(j_decompress_ptr cinfo, size_t fileSize, bool wholeCoefficients);
