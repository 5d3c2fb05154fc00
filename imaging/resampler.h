// Shrinks 24-bit pictures (blue, green, red; rows padded to 4 bytes) by area
// averaging: each target pixel is the rounded mean of the source pixels under
// it, the pixels at the edges of its span counted by the part they cover. The
// two sides are shrunk by separate passes, the height first.
#pragma once

#include <cstdint>

class Resampler {
  public:
    // Set by the caller before every call; the rows are addressed from the
    // first one in memory, at stride (3 * width + 3) & ~3. The source must hold
    // sourceHeight rows; the destination stride(targetWidth) * targetHeight
    // bytes plus 4 bytes of slack. Neither is owned. A call leaves the four
    // fields as it found them.
    int32_t sourceWidth = 0;
    int32_t sourceHeight = 0;
    const uint8_t* sourcePixels = nullptr;
    uint8_t* destinationPixels = nullptr;

    // Fills the destination with the source shrunk to the target size. False
    // (the destination is then no valid picture) when a target side is not
    // positive, a target side is larger than the source side, the fields do
    // not describe a picture, or a work area cannot be had.
    bool resample(int32_t targetWidth, int32_t targetHeight);

    // Whether the last call shrank both sides through an intermediate picture.
    bool usedIntermediate() const { return usedIntermediate_; }

  private:
    bool usedIntermediate_ = false;
};

// The mean table of one pass, for the ratio r = source length / target length
// (at least 1): it turns a channel total over one target span into the span's
// rounded mean. Entry i = floor(i / r + 0.5) for i = 0..L with
// L = floor(255 r + 0.5), and entry L + 1 = 255. shrinkTableSize gives L + 2,
// or 0 when the totals could not be held in 32 bits.
uint64_t shrinkTableSize(double ratio);
void fillShrinkTable(double ratio, uint8_t* table);
