#include "formats/decoded_picture.h"

namespace formats {

const char* decodeStatusText(DecodeStatus status) {
    switch (status) {
        case DecodeStatus::ok:
            return "decoded";
        case DecodeStatus::notRecognised:
            return "not a picture of this format";
        case DecodeStatus::damaged:
            return "damaged or truncated picture data";
        case DecodeStatus::unsupported:
            return "picture uses a feature that is not supported";
        case DecodeStatus::tooLarge:
            return "picture too large for its data or for memory";
        case DecodeStatus::outOfMemory:
            return "out of memory";
    }
    return "unknown error";
}

bool pictureAllowed(PictureSize size, uint64_t describablePixels) {
    if (size.width == 0 || size.height == 0) return false;
    const uint64_t bytes = bgrStride(size.width) * size.height;
    if (bytes > UINT32_MAX) return false;
    const uint64_t pixels = uint64_t{size.width} * size.height;
    return bytes <= kBoundedBytes || pixels <= describablePixels;
}

void compositeRowOnWhite(const uint8_t* bgra, uint8_t* bgr, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, bgra += 4, bgr += 3) {
        const uint32_t alpha = bgra[3];
        const uint32_t white = 255 * (255 - alpha);
        for (int c = 0; c < 3; ++c)
            bgr[c] = static_cast<uint8_t>((bgra[c] * alpha + white + 127) / 255);
    }
}

}  // namespace formats
