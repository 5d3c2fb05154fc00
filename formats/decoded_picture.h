// What the format decoders share: where the decoded rows go, why a decode
// failed, and the bounds every picture must keep before memory is taken.
//
// A decoder turns a whole file's bytes into a 24-bit picture in Windows DIB
// order: blue, green, red, rows bottom-up, each row padded to 4 bytes. Alpha
// is composited onto white, an animation gives its first frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace formats {

enum class DecodeStatus {
    ok,
    notRecognised,  // the bytes are not this format
    damaged,        // broken or truncated data
    unsupported,    // a valid file using a feature this build does not decode
    tooLarge,       // the declared picture breaks the memory bounds
    outOfMemory,    // the sink or the library could not get memory
};

const char* decodeStatusText(DecodeStatus status);

struct PictureSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

// Receives the decoded rows. allocate() is called once, after the size is
// known and checked, and returns stride * height writable bytes (or null).
class PictureSink {
  public:
    virtual ~PictureSink() = default;
    virtual uint8_t* allocate(uint32_t width, uint32_t height, uint32_t stride) = 0;
};

// Bytes per 24-bit row, padded to 4.
constexpr uint64_t bgrStride(uint64_t width) {
    return (width * 3 + 3) & ~uint64_t{3};
}

// A picture's rows must fit in 32 bits (the DIB's size fields and the
// program's pixel buffers), and one needing more than kBoundedBytes must be
// one the file's data can describe: `describablePixels` is the format's true
// maximum for a file of that size, so no complete file is ever refused.
inline constexpr uint64_t kBoundedBytes = uint64_t{64} << 20;
bool pictureAllowed(PictureSize size, uint64_t describablePixels);

// Composites one row of non-premultiplied blue-green-red-alpha pixels onto
// white into blue-green-red: c * a / 255 + 255 - a, rounded to nearest.
void compositeRowOnWhite(const uint8_t* bgra, uint8_t* bgr, uint32_t width);

}  // namespace formats
