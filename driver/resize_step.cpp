#include "driver/resize_step.h"

#include "core/settings.h"
#include "imaging/resampler.h"
#include "imaging/sharpen.h"

namespace {

// round(other * target / fitted), at least 1. The product is taken in 64 bits
// so that it cannot wrap; wherever it fits in 32 bits this is the same value.
int32_t scaledSide(int32_t other, int32_t target, int32_t fitted) {
    if (fitted <= 0) return 1;
    const int64_t product = static_cast<int64_t>(other) * target;
    const double scaled = static_cast<double>(product) / static_cast<double>(fitted) + 0.5;
    if (scaled < 1.0) return 1;
    return static_cast<int32_t>(scaled);
}

// The new record header and working copies after the pixel buffer changed.
void setGeometry(WorkingPicture& picture, int32_t width, int32_t height, uint32_t bitCount) {
    picture.width = width;
    picture.height = height;
    picture.currentBitCount = bitCount;
    picture.record.header.biWidth = width;
    picture.record.header.biHeight = height;
    picture.record.header.biBitCount = static_cast<uint16_t>(bitCount);
    picture.record.header.biSizeImage = 0;  // stale otherwise; 0 means stride * height
}

// Replaces an 8-bit buffer by a 24-bit one holding each index's palette colour.
bool widenToTrueColor(WorkingPicture& picture) {
    const int32_t width = picture.width;
    const int32_t height = picture.height;
    uint8_t* wide = allocatePixelBuffer(width, height, 24);
    if (!wide) return false;
    const size_t narrowStride = rowStride(width, 8);
    const size_t wideStride = rowStride(width, 24);
    const RgbQuad* palette = picture.record.palette;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = picture.record.pixels + static_cast<size_t>(y) * narrowStride;
        uint8_t* out = wide + static_cast<size_t>(y) * wideStride;
        for (int32_t x = 0; x < width; ++x, out += 3) {
            const RgbQuad& colour = palette[in[x]];
            out[0] = colour.blue;
            out[1] = colour.green;
            out[2] = colour.red;
        }
    }
    releasePixelBuffer(picture.record.pixels);
    picture.record.pixels = wide;
    setGeometry(picture, width, height, 24);
    return true;
}

// Sharpens the 24-bit picture into a new buffer that replaces the old one.
bool sharpenPicture(WorkingPicture& picture, SharpenEngine& sharpener) {
    uint8_t* sharpened = allocatePixelBuffer(picture.width, picture.height, 24);
    if (!sharpened) return false;
    sharpener.setPicture(picture.width, picture.height,
                         static_cast<int32_t>(rowStride(picture.width, 24)), picture.record.pixels,
                         sharpened);
    const bool ok = sharpener.computeDifference() &&
                    sharpener.sharpen(kResizeSharpenAmount, kResizeSharpenThreshold);
    sharpener.releaseDifference();
    sharpener.setPicture(0, 0, 0, nullptr, nullptr);
    if (!ok) {
        releasePixelBuffer(sharpened);
        return false;
    }
    releasePixelBuffer(picture.record.pixels);
    picture.record.pixels = sharpened;
    return true;
}

}  // namespace

ResizeTarget resizeTargetSize(int32_t mode, int32_t target, int32_t width, int32_t height) {
    ResizeTarget result;
    result.width = width;
    result.height = height;
    const bool fitWidth = mode == kResizeByWidth || (mode == kResizeByLongerSide && height < width);
    if (fitWidth) {
        if (target >= width) return result;
        result.width = target;
        result.height = scaledSide(height, target, width);
    } else {
        if (target >= height) return result;
        result.height = target;
        result.width = scaledSide(width, target, height);
    }
    result.shrinks = true;
    return result;
}

bool resizeWorkingPicture(WorkingPicture& picture, int32_t mode, int32_t target,
                          Resampler& resampler, SharpenEngine& sharpener) {
    if (picture.width <= 0 || picture.height <= 0 || !picture.record.pixels) return false;
    if (picture.currentBitCount != 8 && picture.currentBitCount != 24) return false;
    const ResizeTarget size = resizeTargetSize(mode, target, picture.width, picture.height);
    if (!size.shrinks) return true;
    if (size.width <= 0 || size.height <= 0) return false;
    const bool sharpens = size.width >= kSharpenMinimumSide && size.height >= kSharpenMinimumSide;
    // Without its tables the sharpening cannot run: fail before touching the picture.
    if (sharpens && !sharpener.ready()) return false;

    if (picture.currentBitCount == 8 && !widenToTrueColor(picture)) return false;

    uint8_t* shrunk = allocatePixelBuffer(size.width, size.height, 24);
    if (!shrunk) return false;
    resampler.sourceWidth = picture.width;
    resampler.sourceHeight = picture.height;
    resampler.sourcePixels = picture.record.pixels;
    resampler.destinationPixels = shrunk;
    const bool resampled = resampler.resample(size.width, size.height);
    resampler.sourcePixels = nullptr;
    resampler.destinationPixels = nullptr;
    if (!resampled) {
        releasePixelBuffer(shrunk);
        return false;
    }
    releasePixelBuffer(picture.record.pixels);
    picture.record.pixels = shrunk;
    setGeometry(picture, size.width, size.height, 24);

    return !sharpens || sharpenPicture(picture, sharpener);
}
