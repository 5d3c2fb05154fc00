// An embedded ICC profile as a source hands it over: the header check, the
// library's parse, the transform to sRGB, and the conversion of a small
// picture and a palette through it. Whatever the profile says, the pixels
// stay in their buffer and a refused profile changes nothing.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/image_record.h"
#include "imaging/colour_profile.h"

namespace {

struct Picture {
    ImageRecord record{};
    Picture(int width, int height, int bitCount) {
        resetRecord(record);
        setRecordGeometry(record, width, height, bitCount);
        record.pixels = allocatePixelBuffer(width, height, bitCount);
        if (!record.pixels) std::abort();
        const size_t bytes = size_t{rowStride(width, bitCount)} * height;
        for (size_t i = 0; i < bytes; ++i) record.pixels[i] = static_cast<uint8_t>(i * 37);
        for (int i = 0; i < 256; ++i)
            record.palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                 static_cast<uint8_t>(i * 3), 0};
    }
    ~Picture() { releasePixelBuffer(record.pixels); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const imaging::ColourTransform transform = imaging::ColourTransform::fromIcc(data, size);
    Picture colour(13, 5, 24), indexed(7, 3, 8);
    const size_t colourBytes = size_t{rowStride(13, 24)} * 5;
    const std::vector<uint8_t> before(colour.record.pixels, colour.record.pixels + colourBytes);
    const imaging::ProfileOutcome outcome = transform.convertRecord(colour.record);
    if (outcome != imaging::ProfileOutcome::applied &&
        std::memcmp(before.data(), colour.record.pixels, colourBytes) != 0)
        std::abort();
    transform.convertRecord(indexed.record);
    if (transform.usable() && transform.space() == imaging::IccSpace::cmyk) {
        const uint8_t cmyk[4 * 9] = {0, 0, 0, 0, 255, 255, 255, 255, 1, 2, 3, 4, 90, 10, 200, 30};
        uint8_t bgr[3 * 9];
        transform.convertCmykRow(cmyk, bgr, 9);
    }
    return 0;
}
