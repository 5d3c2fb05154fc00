// HEIF pictures with HEVC coding (.heic) through libheif and libde265: the
// primary image, with its rotation, mirroring and crop applied.
#pragma once

#include "formats/decoded_picture.h"

namespace formats {

// True when the file starts with an ISO "ftyp" box naming an HEVC-coded
// HEIF brand (heic, heix, heim, heis, hevc, hevx, hevm, hevs).
bool looksLikeHeif(const uint8_t* head, size_t size);

// The primary image's size as it will be shown (after rotation).
DecodeStatus readHeifSize(const uint8_t* data, size_t size, PictureSize& out);

DecodeStatus decodeHeif(const uint8_t* data, size_t size, PictureSink& sink);

}  // namespace formats
