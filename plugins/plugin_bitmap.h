// Turns the packed bitmap a plug-in returns (an info block holding a
// BITMAPINFOHEADER and its colour table, and a block of pixel bits) into the
// program's picture record: 8-bit indexed or 24-bit, bottom-up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/image_record.h"

// Fills the record's header, palette and a new pixel buffer. Accepted: an
// uncompressed bottom-up bitmap of 1, 4, 8 or 24 bits whose bits block holds
// every row; 1- and 4-bit pixels become one index byte each. On failure the
// record's pixel pointer stays null. `sourceBitsPerPixel` is the caller's.
bool importPluginBitmap(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                        ImageRecord& record);
