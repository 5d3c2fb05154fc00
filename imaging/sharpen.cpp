#include "imaging/sharpen.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "platform/owned_memory.h"

namespace {

constexpr size_t kSlack = 4;
// Column sums are kept with two repeated border pixels on either side, so
// that the horizontal sums need no coordinate clamping.
constexpr size_t kBorderSums = 6;

// Where the blur's work rows start behind the differences.
size_t workOffset(size_t pictureBytes) {
    return (pictureBytes + kSlack + 15) & ~size_t{15};
}

// Entries of one work row: the padded column sums, or the box sums.
size_t workRowEntries(size_t rowBytes) {
    return (rowBytes + 2 * kBorderSums + 7) & ~size_t{7};
}

}  // namespace

SharpenEngine::SharpenEngine() {
    if (!gainBlock_.allocate(kGainBlockBytes) || !divideBy25_.allocate(kDivideBy25Entries)) return;

    // The mean of 25 values by their sum, by a multiply and shift whose
    // rounding is one step early from a mean of 120 upward: sum 2988 gives
    // 119, and 255 is reached at 6364.
    uint8_t* divideBy25 = divideBy25_.data();
    divideBy25[0] = 0;
    for (int32_t i = 1; i < kDivideBy25Entries; ++i)
        divideBy25[i] = static_cast<uint8_t>((35389 + 2621 * (i - 1)) >> 16);

    // Row k: floor(d * k / 8) for the differences d = -128..127.
    int16_t* gains = gainBlock_.as<int16_t>();
    for (int32_t k = 0; k < kGainRows; ++k)
        for (int32_t d = -128; d < 128; ++d)
            gains[k * 256 + d + 128] = static_cast<int16_t>((d * k) >> 3);

    uint8_t* clampTable = gainBlock_.data() + kGainTableBytes;
    for (int32_t v = kClampLowest; v <= kClampHighest; ++v)
        clampTable[v - kClampLowest] = static_cast<uint8_t>(std::clamp(v, 0, 255));
    clampCentre_ = clampTable - kClampLowest;
    ready_ = true;
}

const int16_t* SharpenEngine::gainRow(int32_t amount) const {
    if (!ready_ || amount < 0 || amount >= kGainRows) return nullptr;
    return gainBlock_.as<const int16_t>() + amount * 256;
}

void SharpenEngine::setPicture(int32_t width, int32_t height, int32_t stride, const uint8_t* source,
                               uint8_t* destination) {
    // Differences of another picture must never be applied to this one.
    releaseDifference();
    width_ = width;
    height_ = height;
    stride_ = stride;
    source_ = source;
    destination_ = destination;
}

void SharpenEngine::releaseDifference() {
    difference_.reset();
}

bool SharpenEngine::computeDifference() {
    releaseDifference();
    if (!ready_ || !source_ || !destination_ || width_ <= 0 || height_ <= 0) return false;
    const uint64_t rowBytes = 3 * static_cast<uint64_t>(width_);
    if (static_cast<uint64_t>(stride_) < rowBytes || stride_ <= 0) return false;
    const uint64_t pictureBytes = static_cast<uint64_t>(stride_) * static_cast<uint64_t>(height_);
    if (pictureBytes >= (uint64_t{1} << 32)) return false;

    const size_t workBytes = 2 * sizeof(uint16_t) * workRowEntries(static_cast<size_t>(rowBytes));
    if (!difference_.allocate(workOffset(static_cast<size_t>(pictureBytes)) + workBytes))
        return false;
    blurAndDifference();
    return true;
}

// The 5 x 5 box sum of every channel byte is built in two steps: a sum of five
// rows per channel byte, moved down one row at a time, then along the row the
// sum of five of those. Coordinates outside the picture repeat the nearest
// border row or column. The sums are the same integers as 25 separate reads,
// so the blur is exactly the direct one.
void SharpenEngine::blurAndDifference() {
    const int32_t lastRow = height_ - 1;
    const size_t rowBytes = 3 * static_cast<size_t>(width_);
    const size_t stride = static_cast<size_t>(stride_);
    uint16_t* work = reinterpret_cast<uint16_t*>(difference_.data() + workOffset(stride * height_));
    const uint8_t* divideBy25 = divideBy25_.data();
    uint16_t* __restrict padded = work;  // column sums of pixels -2 .. width + 1
    uint16_t* __restrict columns = padded + kBorderSums;
    uint16_t* __restrict boxes = work + workRowEntries(rowBytes);
    auto sourceRow = [&](int32_t y) {
        return source_ + static_cast<size_t>(std::clamp(y, 0, lastRow)) * stride;
    };

    for (int32_t j = -2; j <= 2; ++j) {
        const uint8_t* __restrict row = sourceRow(j);
        for (size_t i = 0; i < rowBytes; ++i)
            columns[i] = static_cast<uint16_t>(columns[i] + row[i]);
    }

    for (int32_t y = 0; y <= lastRow; ++y) {
        if (y > 0) {
            const uint8_t* __restrict entering = sourceRow(y + 2);
            const uint8_t* __restrict leaving = sourceRow(y - 3);
            for (size_t i = 0; i < rowBytes; ++i)
                columns[i] = static_cast<uint16_t>(columns[i] + entering[i] - leaving[i]);
        }
        for (size_t i = 0; i < kBorderSums; ++i) {
            padded[i] = columns[i % 3];
            columns[rowBytes + i] = columns[rowBytes - 3 + i % 3];
        }
        for (size_t i = 0; i < rowBytes; ++i)
            boxes[i] = static_cast<uint16_t>(padded[i] + padded[i + 3] + padded[i + 6] +
                                             padded[i + 9] + padded[i + 12]);

        const uint8_t* source = source_ + static_cast<size_t>(y) * stride;
        uint8_t* blurred = destination_ + static_cast<size_t>(y) * stride;
        int8_t* difference = difference_.as<int8_t>() + static_cast<size_t>(y) * stride;
        for (size_t i = 0; i < rowBytes; ++i) {
            const int32_t mean = divideBy25[boxes[i]];
            blurred[i] = static_cast<uint8_t>(mean);
            difference[i] = static_cast<int8_t>(std::clamp(source[i] - mean, -128, 127));
        }
    }
}

bool SharpenEngine::sharpen(int32_t amount, int32_t threshold) {
    if (!difference_.data() || !ready_ || amount < 0 || amount >= kGainRows) return false;
    const int16_t* gain = gainRow(amount) + 128;
    const size_t stride = static_cast<size_t>(stride_);
    for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* source = source_ + static_cast<size_t>(y) * stride;
        const int8_t* difference = difference_.as<int8_t>() + static_cast<size_t>(y) * stride;
        uint8_t* out = destination_ + static_cast<size_t>(y) * stride;
        for (int32_t x = 0; x < width_; ++x) {
            const int32_t db = difference[0], dg = difference[1], dr = difference[2];
            if (std::abs(db) + std::abs(dg) + std::abs(dr) > threshold) {
                out[0] = clampCentre_[source[0] + gain[db]];
                out[1] = clampCentre_[source[1] + gain[dg]];
                out[2] = clampCentre_[source[2] + gain[dr]];
            } else {
                out[0] = source[0];
                out[1] = source[1];
                out[2] = source[2];
            }
            source += 3;
            difference += 3;
            out += 3;
        }
    }
    return true;
}
