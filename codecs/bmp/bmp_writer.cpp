#include "codecs/bmp/bmp_writer.h"

#include <cstring>

#include "core/byte_order.h"
#include "platform/owned_memory.h"
#include "platform/platform.h"

bool BmpWriter::fail(uint32_t status) {
    status_ = status;
    return false;
}

void BmpWriter::buildHeaders(int32_t width, int32_t height, uint16_t bitCount,
                             uint32_t paletteEntries, uint32_t imageSize) {
    const uint32_t pixelOffset = 54 + 4 * paletteEntries;
    uint8_t* h = headers_;
    h[0] = 'B';
    h[1] = 'M';
    storeU32LE(h + 2, imageSize + pixelOffset);  // bfSize
    storeU32LE(h + 6, 0);                        // two reserved words
    storeU32LE(h + 10, pixelOffset);             // bfOffBits
    storeU32LE(h + 14, 40);                      // biSize
    storeU32LE(h + 18, static_cast<uint32_t>(width));
    storeU32LE(h + 22, static_cast<uint32_t>(height));  // positive: bottom-up rows
    storeU16LE(h + 26, 1);                              // biPlanes
    storeU16LE(h + 28, bitCount);
    storeU32LE(h + 30, 0);  // biCompression: uncompressed
    storeU32LE(h + 34, 0);  // biSizeImage
    storeU32LE(h + 38, static_cast<uint32_t>(horizontalResolution_));
    storeU32LE(h + 42, static_cast<uint32_t>(verticalResolution_));
    storeU32LE(h + 46, paletteEntries);  // biClrUsed
    storeU32LE(h + 50, 0);               // biClrImportant
}

bool BmpWriter::write(const char16_t* path, const PictureToWrite& picture) {
    status_ = kStatusOk;
    std::memset(headers_, 0, sizeof headers_);
    const int32_t sourceBits = static_cast<int32_t>(picture.currentBitCount);
    const int32_t targetBits = picture.loadedBitCount;
    reducer_.configure(picture.width, picture.height, sourceBits, targetBits);
    horizontalResolution_ = picture.horizontalResolution;
    verticalResolution_ = picture.verticalResolution;

    platform::File file;
    if (!file.create(path)) return fail(kStatusOutputError);

    // Only 8- and 24-bit rows exist in a record; anything else is a depth
    // pair no conversion serves.
    if ((sourceBits != 8 && sourceBits != 24) || (targetBits != 8 && targetBits != 24))
        return fail(kStatusReducerFailed);
    const uint32_t paletteEntries = targetBits == 8 ? 256 : 0;
    const uint32_t imageSize = reducer_.targetImageSize();
    // The rows, and the whole file (bfSize), must fit in 32 bits.
    const bool hasPixels = reducer_.width() > 0 && reducer_.height() > 0;
    if ((hasPixels && imageSize == 0) || uint64_t{imageSize} + 54 + 4 * paletteEntries > UINT32_MAX)
        return fail(kStatusOutputError);
    if (!picture.pixels || (sourceBits == 8 && !picture.palette)) return fail(kStatusNoMemory);

    bool written = false;
    if (sourceBits == targetBits) {
        if (imageSize == 0) return fail(kStatusNoMemory);
        buildHeaders(reducer_.width(), reducer_.height(), static_cast<uint16_t>(targetBits),
                     paletteEntries, imageSize);
        written = file.write(headers_, sizeof headers_) &&
                  file.write(picture.palette, 4 * paletteEntries) &&
                  file.write(picture.pixels, imageSize);
    } else {
        platform::PageBuffer converted;
        if (!converted.allocate(uint64_t{imageSize} + 4)) return fail(kStatusNoMemory);
        RgbQuad palette[256] = {};
        if (!reducer_.convertPacked(picture.palette, picture.pixels, palette, converted.data()))
            return fail(kStatusReducerFailed);
        buildHeaders(reducer_.width(), reducer_.height(), static_cast<uint16_t>(targetBits),
                     paletteEntries, imageSize);
        written = file.write(headers_, sizeof headers_) &&
                  file.write(palette, 4 * paletteEntries) &&
                  file.write(converted.data(), imageSize);
    }
    // A short write (a full disk) leaves a damaged file: report it.
    // Data the system still held can fail to reach the disk only at close.
    if (!written || !file.closeChecked()) return fail(kStatusOutputError);
    return true;
}
