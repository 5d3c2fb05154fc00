// Row unpacking from the concatenated strips of an uncompressed TIFF into
// the rows of an ImageRecord. Each function writes exactly `width` pixels to
// `dst` and reads exactly sourceRowBytes() bytes from `src`.
#pragma once

#include <cstdint>

using TiffRowUnpacker = void (*)(const uint8_t* src, uint8_t* dst, uint32_t width);

// 1-bit samples, most significant bit first, one palette index per pixel.
void unpackTiffRow1(const uint8_t* src, uint8_t* dst, uint32_t width);
// 4-bit samples, high nibble first, one palette index per pixel.
void unpackTiffRow4(const uint8_t* src, uint8_t* dst, uint32_t width);
// 8-bit samples: the bytes are the palette indices.
void unpackTiffRow8(const uint8_t* src, uint8_t* dst, uint32_t width);
// Red, green, blue bytes to blue, green, red.
void unpackTiffRowRgb8(const uint8_t* src, uint8_t* dst, uint32_t width);
// 16-bit red, green, blue samples reduced to their more significant byte,
// which comes second in little-endian files and first in big-endian files.
void unpackTiffRowRgb16LE(const uint8_t* src, uint8_t* dst, uint32_t width);
void unpackTiffRowRgb16BE(const uint8_t* src, uint8_t* dst, uint32_t width);

// Bytes one source row occupies for the given sample size and samples per
// pixel (rows start on a byte boundary). Computed in 64 bits.
inline uint64_t tiffSourceRowBytes(uint32_t width, uint32_t bitsPerSample,
                                   uint32_t samplesPerPixel) {
    return (uint64_t{width} * bitsPerSample * samplesPerPixel + 7) / 8;
}
