// WebP pictures through libwebp: lossy, lossless, with alpha, and the first
// frame of an animation.
#pragma once

#include "formats/decoded_picture.h"

namespace formats {

// True when the file's first bytes (at least 16 of them) are a RIFF WebP
// header with a known first chunk.
bool looksLikeWebp(const uint8_t* head, size_t size);

// The picture (or animation canvas) size from the file's headers.
DecodeStatus readWebpSize(const uint8_t* data, size_t size, PictureSize& out);

// Decodes the whole file into the sink's rows (see decoded_picture.h).
DecodeStatus decodeWebp(const uint8_t* data, size_t size, PictureSink& sink);

}  // namespace formats
