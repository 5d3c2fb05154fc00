// Turns the packed bitmap a plug-in returns (an info block holding a
// BITMAPINFOHEADER and its colour table, and a block of pixel bits) into the
// program's picture record: 8-bit indexed or 24-bit, bottom-up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/image_record.h"

// Fills the record's header, palette and a new pixel buffer. Accepted: an
// uncompressed bottom-up bitmap of 1, 4, 8 or 24 bits; 1- and 4-bit pixels
// become one index byte each. The colour table is read from the end of the
// plug-in's header (whatever its size) to the end of the info block, up to
// 256 entries. The header fields the plug-in set are kept, except biSize (40,
// the record's own header) and biBitCount (the buffer's depth).
//
// A 1- or 4-bit bits block must hold every row. An 8- or 24-bit block that
// is shorter gives what it holds, the rest left as the buffer's zero fill,
// and sets `damaged`. On failure the record's pixel pointer stays null.
// `sourceBitsPerPixel` is the caller's.
bool importPluginBitmap(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                        ImageRecord& record, bool& damaged);
