#include "plugins/plugin_bitmap.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHeaderSize = sizeof(BitmapInfoHeader);  // 40
constexpr size_t kPaletteEntries = 256;

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

// Every entry the block holds after the plug-in's header counts, whatever
// biClrUsed says: plug-ins that understate it still index those colours.
void copyPalette(const uint8_t* info, size_t infoSize, uint32_t headerSize, ImageRecord& record) {
    std::memset(record.palette, 0, sizeof record.palette);
    const size_t count = std::min((infoSize - headerSize) / sizeof(RgbQuad), kPaletteEntries);
    std::memcpy(record.palette, info + headerSize, count * sizeof(RgbQuad));
}

void unpackRows(const uint8_t* bits, uint64_t srcStride, uint8_t* pixels, uint32_t dstStride,
                int32_t width, int32_t height, int bitCount) {
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = bits + static_cast<uint64_t>(y) * srcStride;
        uint8_t* dst = pixels + static_cast<uint64_t>(y) * dstStride;
        if (bitCount == 1) {
            for (int32_t x = 0; x < width; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
        } else {
            for (int32_t x = 0; x < width; ++x)
                dst[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
        }
    }
}

}  // namespace

bool importPluginBitmap(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                        ImageRecord& record, bool& damaged) {
    record.pixels = nullptr;
    damaged = false;
    if (!info || !bits || infoSize < kHeaderSize || bitsSize == 0) return false;
    BitmapInfoHeader header;
    std::memcpy(&header, info, kHeaderSize);
    // Shorter (OS/2) headers have other fields; a header larger than its block is broken.
    if (header.biSize < kHeaderSize || header.biSize > infoSize) return false;
    if (header.biCompression != 0 || header.biWidth <= 0 || header.biHeight <= 0) return false;
    const int bitCount = header.biBitCount;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) return false;

    const uint64_t srcStride = sourceStride(header.biWidth, bitCount);
    const uint64_t wanted = srcStride * static_cast<uint64_t>(header.biHeight);
    const bool packed = bitCount < 8;
    // Packed rows are unpacked whole, so every one of them must be there.
    if (packed && bitsSize < wanted) return false;

    const int outBitCount = bitCount == 24 ? 24 : 8;
    uint8_t* pixels = allocatePixelBuffer(header.biWidth, header.biHeight, outBitCount);
    if (!pixels) return false;
    if (packed) {
        unpackRows(bits, srcStride, pixels, rowStride(header.biWidth, outBitCount), header.biWidth,
                   header.biHeight, bitCount);
    } else {
        // Same row layout on both sides; wanted fits the buffer, which was allocated.
        std::memcpy(pixels, bits, static_cast<size_t>(std::min<uint64_t>(bitsSize, wanted)));
        damaged = bitsSize < wanted;
    }

    if (bitCount <= 8)
        copyPalette(info, infoSize, header.biSize, record);
    else
        std::memset(record.palette, 0, sizeof record.palette);
    record.header = header;
    record.header.biSize = kHeaderSize;
    record.header.biBitCount = static_cast<uint16_t>(outBitCount);
    record.pixels = pixels;
    return true;
}
