// Status codes every codec context keeps. The driver decides by success and
// hands the status of a failed file to the front end, which words it
// (codecStatusText for English).
#pragma once

#include <cstdint>

enum CodecStatus : uint32_t {
    kStatusOk = 50000,
    kStatusNoMemory = 50001,
    kStatusUnsupported = 50002,  // unsupported or self-contradicting content
    kStatusInputError = 50004,   // cannot open or read, or shorter than its structure
    kStatusOutputError = 50005,  // cannot create the output, or it would not fit in 32 bits
    kStatusReducerFailed = 50006,
    kStatusMalformed = 50007,  // malformed structure (GIF blocks, TIFF header/directory, JPEG data)
    kStatusSourceChanged = 50008,  // the file was cut, grown or rewritten while it was read
    kStatusPluginFailed = 50003,  // an image plug-in crashed, or did not load, while asked about it
    kStatusTooLargeForFormat = 50025,  // a side above what the output format can hold
    // The PNG codecs add their own values from 50009 to 50024.
};

// A short English reason for a status of any codec ("not enough memory"),
// without a final full stop. Unknown values give a general text.
const char* codecStatusText(uint32_t status);
