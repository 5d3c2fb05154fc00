// What a read or a write gives back: a status, success, and what it noticed.
// Every reader (the format table's, the fallback) and every writer returns
// one; nothing is kept on the codec objects for the caller to ask about.
#pragma once

#include <cstdint>

#include "core/image_record.h"

// What one read gives back besides the picture in the record.
struct ReadResult {
    uint32_t status = 0;  // a CodecStatus; 0 when there is nothing to say (not this format)
    bool ok = false;
    bool damaged = false;          // decoded as far as the data goes, the rest filled
    bool tookCmykProfile = false;  // the inks went through the request's CMYK profile
    TransparentColor transparent{};
};

// What one write gives back.
struct WriteResult {
    uint32_t status = 0;  // a CodecStatus
    bool ok = false;
    // A size-limited JPEG still above its limit at quality 1, written all the same.
    bool aboveSizeLimit = false;
    uint64_t bytes = 0;  // size of the file written, when known
};
