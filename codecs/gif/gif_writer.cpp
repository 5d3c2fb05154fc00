#include "codecs/gif/gif_writer.h"

#include <cstring>

#include "codecs/gif/gif_lzw_encoder.h"
#include "core/byte_order.h"
#include "imaging/color_reducer_nearest.h"
#include "platform/owned_memory.h"
#include "platform/platform.h"

namespace {

constexpr int32_t kMaxSide = 65535;
constexpr uint8_t kMinCodeSize = 8;

inline void putU16(uint8_t*& p, uint32_t value) {
    storeU16LE(p, value);
    p += 2;
}

// Display rows in the order they are stored: top to bottom, or the four
// interlace passes (every 8th row from 0, every 8th from 4, every 4th from 2,
// every 2nd from 1).
template <typename RowFn>
void forEachStoredRow(int32_t height, bool interlaced, RowFn&& row) {
    if (!interlaced) {
        for (int32_t y = 0; y < height; ++y) row(y);
        return;
    }
    static constexpr int32_t kStart[4] = {0, 4, 2, 1};
    static constexpr int32_t kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int32_t y = kStart[pass]; y < height; y += kStep[pass]) row(y);
}

// Writes `size` bytes of code data as sub-blocks of at most 255 bytes, each
// after its length, followed by the empty terminator block.
bool writeSubBlocks(platform::File& file, const uint8_t* data, size_t size) {
    uint8_t staging[64 * 256];  // 64 full sub-blocks per write
    size_t used = 0;
    while (size > 0) {
        const size_t length = size < 255 ? size : 255;
        staging[used++] = static_cast<uint8_t>(length);
        std::memcpy(staging + used, data, length);
        used += length;
        data += length;
        size -= length;
        if (used > sizeof staging - 256) {
            if (!file.write(staging, used)) return false;
            used = 0;
        }
    }
    staging[used++] = 0;
    return file.write(staging, used);
}

}  // namespace

uint8_t gifTransparentIndex(const RgbQuad* palette, const uint8_t* rgb) {
    return reducer::nearestPaletteIndex(palette, 256, rgb[0], rgb[1], rgb[2]);
}

bool GifWriter::write(const char16_t* path, const PictureToWrite& picture) {
    status_ = kStatusOk;
    const int32_t width = picture.width;
    const int32_t height = picture.height;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return fail(kStatusOutputError);
    if (!picture.pixels || (picture.currentBitCount != 8 && picture.currentBitCount != 24) ||
        (picture.currentBitCount == 8 && !picture.palette))
        return fail(kStatusReducerFailed);

    reducer_.configure(width, height, static_cast<int32_t>(picture.currentBitCount), 8);
    const uint32_t imageSize = reducer_.targetImageSize();
    if (imageSize == 0 || imageSize > INT32_MAX) return fail(kStatusOutputError);

    platform::File file;
    if (!file.create(path)) return fail(kStatusOutputError);

    // Palette indices, one byte per pixel, rows of exactly `width` bytes,
    // bottom row first (the order of the source rows).
    platform::PageBuffer indices;
    if (!indices.allocate(size_t{imageSize} + 4)) return fail(kStatusNoMemory);
    RgbQuad palette[256] = {};
    if (!reducer_.convertToIndices(picture.palette, picture.pixels, palette, indices.data()))
        return fail(kStatusReducerFailed);

    const bool transparent = picture.transparent && picture.transparentRgb;
    const uint8_t transparentIndex =
        transparent ? gifTransparentIndex(palette, picture.transparentRgb) : 0;

    // Header, logical screen, global colour table, graphic control
    // extension, image descriptor and the minimum code size.
    uint8_t head[13 + 768 + 8 + 10 + 1];
    uint8_t* p = head;
    std::memcpy(p, "GIF89a", 6);
    p += 6;
    putU16(p, static_cast<uint32_t>(width));
    putU16(p, static_cast<uint32_t>(height));
    *p++ = 0xF7;              // global table of 256 entries, 8-bit colour resolution
    *p++ = transparentIndex;  // background index
    *p++ = 0;                 // no aspect ratio
    for (const RgbQuad& entry : palette) {
        *p++ = entry.red;
        *p++ = entry.green;
        *p++ = entry.blue;
    }
    if (transparent) {
        const uint8_t control[8] = {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, transparentIndex, 0x00};
        std::memcpy(p, control, sizeof control);
        p += sizeof control;
    }
    *p++ = 0x2C;
    putU16(p, 0);
    putU16(p, 0);
    putU16(p, static_cast<uint32_t>(width));
    putU16(p, static_cast<uint32_t>(height));
    *p++ = interlace_ ? 0x40 : 0x00;
    *p++ = kMinCodeSize;
    if (!file.write(head, static_cast<size_t>(p - head))) return fail(kStatusOutputError);

    const size_t pixelCount = size_t(width) * size_t(height);
    platform::PageBuffer codes;
    platform::HeapBlock tables;
    if (!codes.allocate(gif::lzwEncodedBound(pixelCount)) ||
        !tables.allocate(sizeof(gif::LzwEncoderTables)))
        return fail(kStatusNoMemory);
    gif::LzwEncoder encoder;
    encoder.begin(*tables.as<gif::LzwEncoderTables>(), codes.data());
    const uint8_t* const bottomRow = indices.data();
    forEachStoredRow(height, interlace_, [&](int32_t y) {
        encoder.feed(bottomRow + size_t(height - 1 - y) * size_t(width), size_t(width));
    });
    const size_t codeBytes = encoder.finish();

    const uint8_t trailer = 0x3B;
    if (!writeSubBlocks(file, codes.data(), codeBytes) || !file.write(&trailer, 1))
        return fail(kStatusOutputError);
    // Data the system still held can fail to reach the disk only at close.
    if (!file.closeChecked()) return fail(kStatusOutputError);
    return true;
}
