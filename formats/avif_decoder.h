// AVIF pictures (HEIF with AV1 coding) through libheif and dav1d: the
// primary image, with its rotation, mirroring and crop applied; of an image
// sequence, the still image it carries (its first frame).
#pragma once

#include "formats/decoded_picture.h"

namespace formats {

// True when the file starts with an ISO "ftyp" box naming "avif" or "avis"
// as its major brand or a compatible one.
bool looksLikeAvif(const uint8_t* head, size_t size);

// The primary image's size as it will be shown (after rotation).
DecodeStatus readAvifSize(const uint8_t* data, size_t size, PictureSize& out);

DecodeStatus decodeAvif(const uint8_t* data, size_t size, PictureSink& sink);

}  // namespace formats
