// The decoders this build has, each with its signature test, so a caller can
// pick one by a file's first bytes (never by its name).
#pragma once

#include "formats/decoded_picture.h"

namespace formats {

struct FormatDecoder {
    const char* name;
    bool (*looksLike)(const uint8_t* head, size_t size);
    DecodeStatus (*readSize)(const uint8_t* data, size_t size, PictureSize& out);
    DecodeStatus (*decode)(const uint8_t* data, size_t size, PictureSink& sink);
};

// The first decoder whose signature matches, or null.
const FormatDecoder* findDecoder(const uint8_t* head, size_t size);

}  // namespace formats
