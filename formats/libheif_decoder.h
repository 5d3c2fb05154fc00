// Pictures of the HEIF family (HEIC, AVIF) through libheif: the primary
// image, with its rotation, mirroring and crop applied. One decoder for both
// codings; a coding differs only in its ftyp brands, the codec whose coded
// items the file must hold, and how many pixels a file of a given size can
// truly describe.
#pragma once

#include "formats/decoded_picture.h"

namespace formats {

struct HeifCoding {
    const char* const* brands;  // ftyp major or compatible brands that mark it
    size_t brandCount;
    const char* itemType;  // its coded items: "hvc1" or "av01"
    uint64_t (*describablePixels)(size_t fileBytes);
};

// True when the file starts with an ISO "ftyp" box naming one of the
// coding's brands, as the major brand or a compatible one.
bool looksLikeHeifCoding(const HeifCoding& coding, const uint8_t* head, size_t size);

// The primary image's size as it will be shown (after rotation).
DecodeStatus readHeifCodingSize(const HeifCoding& coding, const uint8_t* data, size_t size,
                                PictureSize& out);

DecodeStatus decodeHeifCoding(const HeifCoding& coding, const uint8_t* data, size_t size,
                              PictureSink& sink);

}  // namespace formats
