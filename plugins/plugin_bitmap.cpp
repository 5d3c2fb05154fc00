#include "plugins/plugin_bitmap.h"

#include <cstring>

namespace {

constexpr size_t kHeaderSize = sizeof(BitmapInfoHeader);  // 40

// Source row length of the plug-in's bits, padded to 4 bytes, in 64 bits so
// that no width can wrap it.
uint64_t sourceStride(int32_t width, int bitCount) {
    const uint64_t w = static_cast<uint64_t>(width);
    uint64_t bytes = 0;
    switch (bitCount) {
        case 1:
            bytes = (w + 7) / 8;
            break;
        case 4:
            bytes = (w + 1) / 2;
            break;
        case 8:
            bytes = w;
            break;
        case 24:
            bytes = 3 * w;
            break;
    }
    return (bytes + 3) & ~uint64_t{3};
}

void copyPalette(const uint8_t* info, size_t infoSize, const BitmapInfoHeader& header,
                 ImageRecord& record) {
    std::memset(record.palette, 0, sizeof record.palette);
    if (header.biBitCount > 8) return;
    // The colour table follows the header, which may be longer than 40 bytes;
    // only the entries the bitmap defines are taken, the rest stay zero.
    const uint32_t possible = 1u << header.biBitCount;
    const uint32_t defined =
        header.biClrUsed != 0 && header.biClrUsed < possible ? header.biClrUsed : possible;
    const size_t available = (infoSize - header.biSize) / sizeof(RgbQuad);
    const size_t count = defined < available ? defined : available;
    std::memcpy(record.palette, info + header.biSize, count * sizeof(RgbQuad));
}

void unpackRows(const uint8_t* bits, uint64_t srcStride, uint8_t* pixels, uint32_t dstStride,
                int32_t width, int32_t height, int bitCount) {
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = bits + static_cast<uint64_t>(y) * srcStride;
        uint8_t* dst = pixels + static_cast<uint64_t>(y) * dstStride;
        if (bitCount == 1) {
            for (int32_t x = 0; x < width; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
        } else if (bitCount == 4) {
            for (int32_t x = 0; x < width; ++x)
                dst[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
        } else {
            std::memcpy(dst, src, dstStride);
        }
    }
}

}  // namespace

bool importPluginBitmap(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                        ImageRecord& record) {
    record.pixels = nullptr;
    if (!info || !bits || infoSize < kHeaderSize || bitsSize == 0) return false;
    BitmapInfoHeader header;
    std::memcpy(&header, info, kHeaderSize);
    // Shorter (OS/2) headers have other fields; a header larger than its block is broken.
    if (header.biSize < kHeaderSize || header.biSize > infoSize) return false;
    if (header.biCompression != 0 || header.biWidth <= 0 || header.biHeight <= 0) return false;
    const int bitCount = header.biBitCount;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) return false;

    // Every row must be there: a short block would leave rows undefined.
    const uint64_t srcStride = sourceStride(header.biWidth, bitCount);
    if (srcStride * static_cast<uint64_t>(header.biHeight) > bitsSize) return false;

    const int outBitCount = bitCount == 24 ? 24 : 8;
    uint8_t* pixels = allocatePixelBuffer(header.biWidth, header.biHeight, outBitCount);
    if (!pixels) return false;
    const uint32_t dstStride = rowStride(header.biWidth, outBitCount);
    unpackRows(bits, srcStride, pixels, dstStride, header.biWidth, header.biHeight, bitCount);

    copyPalette(info, infoSize, header, record);
    record.header = header;
    record.header.biSize = kHeaderSize;
    record.header.biPlanes = 1;
    record.header.biBitCount = static_cast<uint16_t>(outBitCount);
    // A record describes its own buffer: no image size or colour count of the
    // plug-in's rows (which may have had 1 or 4 bits), and resolutions in
    // pixels per metre are never negative.
    record.header.biSizeImage = 0;
    record.header.biClrUsed = 0;
    record.header.biClrImportant = 0;
    if (record.header.biXPelsPerMeter < 0) record.header.biXPelsPerMeter = 0;
    if (record.header.biYPelsPerMeter < 0) record.header.biYPelsPerMeter = 0;
    record.pixels = pixels;
    return true;
}
