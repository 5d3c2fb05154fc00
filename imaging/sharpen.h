// Sharpening after a shrink: an unsharp mask with a threshold over a 24-bit
// picture (blue, green, red; rows padded to 4 bytes). The picture is blurred
// with a 5 x 5 box whose edges repeat the border pixels, the difference
// between picture and blur is taken per channel, and wherever the three
// differences of a pixel add up to more than the threshold the pixel is pushed
// away from its blur by amount/8 of the difference. Flat and gently shaded
// areas stay exactly as they are. All arithmetic is integer and table driven.
#pragma once

#include <cstdint>

#include "platform/owned_memory.h"

class SharpenEngine {
  public:
    static constexpr int32_t kDivideBy25Entries = 6376;  // sums of 25 values 0..6375
    static constexpr int32_t kGainRows = 101;            // amounts 0..100
    static constexpr int32_t kGainTableBytes = kGainRows * 256 * 2;
    static constexpr int32_t kClampLowest = -1600;
    static constexpr int32_t kClampHighest = 1842;
    static constexpr int32_t kClampTableBytes = kClampHighest - kClampLowest + 1;
    static constexpr int32_t kGainBlockBytes = kGainTableBytes + kClampTableBytes;

    // Builds the tables on the private heap; ready() says whether all exist.
    SharpenEngine();
    SharpenEngine(const SharpenEngine&) = delete;
    SharpenEngine& operator=(const SharpenEngine&) = delete;

    bool ready() const { return ready_; }

    // The picture of the next pass. Source and destination hold height rows
    // of `stride` bytes (at least 3 * width) and are not owned; the destination
    // must not overlap the source.
    void setPicture(int32_t width, int32_t height, int32_t stride, const uint8_t* source,
                    uint8_t* destination);

    // Releases the difference buffer of an earlier picture, allocates a new
    // one, blurs the source into the destination and stores the clamped
    // differences source - blur (-128..127). False when the engine is not
    // ready, the picture is not valid or the buffer cannot be had.
    bool computeDifference();

    // Writes the sharpened picture into the destination: a pixel whose three
    // absolute differences add up to more than `threshold` gets, per channel,
    // source + floor(amount * difference / 8) clamped to 0..255; any other
    // pixel is copied. Needs computeDifference first; amount 0..100.
    bool sharpen(int32_t amount, int32_t threshold);

    // Gives the difference buffer back (also done by the destructor).
    void releaseDifference();

    // The tables, for inspection: the mean of 25 values by their sum; the
    // gains of one amount by difference + 128; the clamp by value -1600..1842.
    const uint8_t* divideBy25Table() const { return divideBy25_.data(); }
    const int16_t* gainRow(int32_t amount) const;
    uint8_t clamp(int32_t value) const {
        return ready_ && value >= kClampLowest && value <= kClampHighest ? clampCentre_[value] : 0;
    }
    // The differences of the last computeDifference, stride bytes per row.
    const int8_t* difference() const { return difference_.as<int8_t>(); }

  private:
    void blurAndDifference();

    bool ready_ = false;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t stride_ = 0;
    const uint8_t* source_ = nullptr;
    uint8_t* destination_ = nullptr;
    platform::PageBuffer difference_;  // int8_t, with the blur's column sums behind it
    platform::HeapBlock gainBlock_;    // the gain table (int16_t) followed by the clamp table
    const uint8_t* clampCentre_ = nullptr;
    platform::HeapBlock divideBy25_;
};
