#include "codecs/tiff/tiff_unpack.h"

#include <cstring>

void unpackTiffRow1(const uint8_t* src, uint8_t* dst, uint32_t width) {
    uint32_t whole = width / 8;
    for (uint32_t i = 0; i < whole; ++i) {
        uint8_t bits = src[i];
        for (int b = 7; b >= 0; --b) *dst++ = (bits >> b) & 1;
    }
    // The last byte may hold fewer pixels than bits; stop at the row's end.
    uint32_t rest = width % 8;
    if (rest) {
        uint8_t bits = src[whole];
        for (uint32_t b = 0; b < rest; ++b) *dst++ = (bits >> (7 - b)) & 1;
    }
}

void unpackTiffRow4(const uint8_t* src, uint8_t* dst, uint32_t width) {
    uint32_t whole = width / 2;
    for (uint32_t i = 0; i < whole; ++i) {
        dst[2 * i] = src[i] >> 4;
        dst[2 * i + 1] = src[i] & 0x0F;
    }
    // An odd width ends on a high nibble; the unused low nibble is dropped.
    if (width & 1) dst[width - 1] = src[whole] >> 4;
}

void unpackTiffRow8(const uint8_t* src, uint8_t* dst, uint32_t width) {
    std::memcpy(dst, src, width);
}

void unpackTiffRowRgb8(const uint8_t* src, uint8_t* dst, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, src += 3, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
    }
}

void unpackTiffRowRgb16LE(const uint8_t* src, uint8_t* dst, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, src += 6, dst += 3) {
        dst[0] = src[5];
        dst[1] = src[3];
        dst[2] = src[1];
    }
}

void unpackTiffRowRgb16BE(const uint8_t* src, uint8_t* dst, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, src += 6, dst += 3) {
        dst[0] = src[4];
        dst[1] = src[2];
        dst[2] = src[0];
    }
}
