#include "imaging/orientation.h"

#include <cstddef>
#include <cstring>
#include <utility>

namespace {

// Where each output pixel comes from, planned apart from the pixel loops:
// output pixel (x, y), counted from the top left, is read at
// origin + x * columnStep + y * rowStep bytes into the source buffer.
struct SourceWalk {
    ptrdiff_t origin;
    ptrdiff_t columnStep;
    ptrdiff_t rowStep;
};

// In top-down source coordinates, output (x, y) reads source
// (x0 + xx * x + xy * y, y0 + yx * x + yy * y); a source row sy lies at
// (height - 1 - sy) * stride in the bottom-up buffer.
SourceWalk planWalk(uint8_t orientation, int32_t width, int32_t height, ptrdiff_t stride,
                    ptrdiff_t pixelBytes) {
    struct Map {
        bool xFromRight;  // x0 = width - 1
        int xx, xy;
        bool yFromBottom;  // y0 = height - 1
        int yx, yy;
    };
    static constexpr Map kMaps[9] = {
        {false, 1, 0, false, 0, 1},  // (unused)
        {false, 1, 0, false, 0, 1},  // 1: as stored
        {true, -1, 0, false, 0, 1},  // 2: mirrored left to right
        {true, -1, 0, true, 0, -1},  // 3: half a turn
        {false, 1, 0, true, 0, -1},  // 4: mirrored top to bottom
        {false, 0, 1, false, 1, 0},  // 5: mirrored along the main diagonal
        {false, 0, 1, true, -1, 0},  // 6: a quarter turn clockwise
        {true, 0, -1, true, -1, 0},  // 7: mirrored along the other diagonal
        {true, 0, -1, false, 1, 0},  // 8: a quarter turn anticlockwise
    };
    const Map& m = kMaps[orientation];
    const ptrdiff_t x0 = m.xFromRight ? width - 1 : 0;
    const ptrdiff_t y0 = m.yFromBottom ? height - 1 : 0;
    return {(height - 1 - y0) * stride + x0 * pixelBytes, m.xx * pixelBytes - m.yx * stride,
            m.xy * pixelBytes - m.yy * stride};
}

template <int PixelBytes>
inline void copyPixel(uint8_t* to, const uint8_t* from) {
    std::memcpy(to, from, PixelBytes);
}

// Output rows in order, each walked along a source row: orientations 1 to 4.
template <int PixelBytes>
void copyAlongRows(const uint8_t* source, uint8_t* target, int32_t outWidth, int32_t outHeight,
                   ptrdiff_t outStride, const SourceWalk& walk) {
    for (int32_t y = 0; y < outHeight; ++y) {
        const uint8_t* from = source + walk.origin + y * walk.rowStep;
        uint8_t* to = target + static_cast<ptrdiff_t>(outHeight - 1 - y) * outStride;
        if (walk.columnStep == PixelBytes) {
            std::memcpy(to, from, static_cast<size_t>(outWidth) * PixelBytes);
            continue;
        }
        for (int32_t x = 0; x < outWidth; ++x, to += PixelBytes, from += walk.columnStep)
            copyPixel<PixelBytes>(to, from);
    }
}

// Quarter turns and diagonal mirrors read the source down its columns; in
// square tiles, so the source rows a tile touches stay in the cache while
// its output rows are written.
template <int PixelBytes>
void copyAcrossRows(const uint8_t* source, uint8_t* target, int32_t outWidth, int32_t outHeight,
                    ptrdiff_t outStride, const SourceWalk& walk) {
    constexpr int32_t kTile = 32;
    for (int32_t ty = 0; ty < outHeight; ty += kTile) {
        const int32_t yEnd = ty + kTile < outHeight ? ty + kTile : outHeight;
        for (int32_t tx = 0; tx < outWidth; tx += kTile) {
            const int32_t xEnd = tx + kTile < outWidth ? tx + kTile : outWidth;
            for (int32_t y = ty; y < yEnd; ++y) {
                const uint8_t* from =
                    source + walk.origin + y * walk.rowStep + tx * walk.columnStep;
                uint8_t* to = target + static_cast<ptrdiff_t>(outHeight - 1 - y) * outStride +
                              static_cast<ptrdiff_t>(tx) * PixelBytes;
                for (int32_t x = tx; x < xEnd; ++x, to += PixelBytes, from += walk.columnStep)
                    copyPixel<PixelBytes>(to, from);
            }
        }
    }
}

template <int PixelBytes>
void copyOriented(const uint8_t* source, uint8_t* target, int32_t outWidth, int32_t outHeight,
                  ptrdiff_t outStride, const SourceWalk& walk, bool acrossRows) {
    if (acrossRows)
        copyAcrossRows<PixelBytes>(source, target, outWidth, outHeight, outStride, walk);
    else
        copyAlongRows<PixelBytes>(source, target, outWidth, outHeight, outStride, walk);
}

}  // namespace

uint8_t* orientedPixels(const uint8_t* pixels, int32_t width, int32_t height, int bitCount,
                        uint8_t orientation) {
    if (!pixels || orientation < 2 || orientation > 8 || (bitCount != 8 && bitCount != 24) ||
        width <= 0 || height <= 0)
        return nullptr;
    const bool swaps = orientationSwapsSides(orientation);
    const int32_t outWidth = swaps ? height : width;
    const int32_t outHeight = swaps ? width : height;
    uint8_t* target = allocatePixelBuffer(outWidth, outHeight, bitCount);
    if (!target) return nullptr;
    const ptrdiff_t pixelBytes = bitCount / 8;
    const SourceWalk walk =
        planWalk(orientation, width, height, rowStride(width, bitCount), pixelBytes);
    const ptrdiff_t outStride = rowStride(outWidth, bitCount);
    if (bitCount == 8)
        copyOriented<1>(pixels, target, outWidth, outHeight, outStride, walk, swaps);
    else
        copyOriented<3>(pixels, target, outWidth, outHeight, outStride, walk, swaps);
    return target;
}

bool orientRecord(ImageRecord& record, uint8_t orientation) {
    if (orientation < 2 || orientation > 8) return true;
    BitmapInfoHeader& header = record.header;
    uint8_t* turned = orientedPixels(record.pixels, header.biWidth, header.biHeight,
                                     header.biBitCount, orientation);
    if (!turned) return false;
    releasePixelBuffer(record.pixels);
    record.pixels = turned;
    if (orientationSwapsSides(orientation)) {
        std::swap(header.biWidth, header.biHeight);
        std::swap(header.biXPelsPerMeter, header.biYPelsPerMeter);
    }
    return true;
}
