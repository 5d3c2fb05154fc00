// Status codes of the PNG reader and writer, continuing the shared codec codes.
#pragma once

#include <cstdint>

#include "codecs/codec_status.h"

enum PngStatus : uint32_t {
    kPngInflateFailed = 50009,    // inflate reported an error (corrupt or short data)
    kPngDeflateFailed = 50010,    // deflate could not be set up or did not finish
    kPngBadCrc = 50011,           // CRC mismatch in IHDR, PLTE, the first IDAT or IEND
    kPngBadChunkLength = 50012,   // chunk length with the top bit set
    kPngBadHeaderLength = 50013,  // IHDR length is not 13
    kPngMissingHeader = 50014,    // the first chunk is not IHDR
    kPngBadColourType = 50016,    // colour type not allowed for the bit depth
    kPngBadBitDepth = 50017,      // bit depth not 1, 2, 4, 8 or 16
    kPngBadCompression = 50018,   // compression method not 0
    kPngBadFilterMethod = 50019,  // filter method not 0
    kPngBadInterlace = 50020,     // interlace method not 0 or 1
    kPngChunkOutOfOrder = 50022,  // second IHDR, PLTE after PLTE or IDAT, IDAT after the run
    kPngMissingData = 50023,      // IEND without IDAT, or without PLTE for a palette image
    kPngBadImageDataRun = 50024,  // invalid IDAT run (length, bounds, CRC or total size)
};
