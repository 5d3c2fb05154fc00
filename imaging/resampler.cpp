#include "imaging/resampler.h"

#include <cstddef>

#include "core/image_record.h"
#include "platform/owned_memory.h"
#include "platform/platform.h"

namespace {

// A private-heap block of at least one byte: a pass to a single pixel has no
// spans to record, yet its plan is complete.
bool allocateAtLeastOne(platform::HeapBlock& block, size_t bytes) {
    return block.allocate(bytes ? bytes : 1);
}

// A page-allocated picture buffer, released when it goes away.
class PictureBuffer {
  public:
    PictureBuffer(int64_t width, int64_t height)
        : pixels_(allocatePixelBuffer(width, height, 24)) {}
    ~PictureBuffer() { releasePixelBuffer(pixels_); }
    PictureBuffer(const PictureBuffer&) = delete;
    PictureBuffer& operator=(const PictureBuffer&) = delete;

    uint8_t* pixels() const { return pixels_; }

  private:
    uint8_t* pixels_;
};

// Everything a pass needs that does not depend on the pixels: the mean table,
// and for each target pixel but the last the source index that ends its span
// and the coverage of that pixel carried over to the next span. The coverage
// is followed in doubles exactly as along every row, once for the whole pass.
class PassPlan {
  public:
    PassPlan(int32_t sourceLength, int32_t targetLength)
        : ratio_(static_cast<double>(sourceLength) / static_cast<double>(targetLength)),
          tableSize_(shrinkTableSize(ratio_)) {
        const size_t spans = static_cast<size_t>(targetLength - 1);
        ready_ = tableSize_ != 0 && table_.allocate(tableSize_) &&
                 allocateAtLeastOne(spanEnds_, sizeof(uint32_t) * spans) &&
                 allocateAtLeastOne(carries_, sizeof(double) * spans) &&
                 followCoverage(sourceLength, targetLength);
        if (ready_) fillShrinkTable(ratio_, table_.as<uint8_t>());
    }

    bool ready() const { return ready_; }
    const uint8_t* table() const { return table_.as<uint8_t>(); }
    const uint32_t* spanEnds() const { return spanEnds_.as<uint32_t>(); }
    const double* carries() const { return carries_.as<double>(); }

  private:
    bool followCoverage(int32_t sourceLength, int32_t targetLength) {
        uint32_t* ends = spanEnds_.as<uint32_t>();
        double* carries = carries_.as<double>();
        const uint32_t emitted = static_cast<uint32_t>(targetLength - 1);
        uint32_t count = 0;
        double coverage = 0.0;
        for (int32_t i = 0; i + 1 < sourceLength; ++i) {
            coverage = coverage + 1.0;
            if (coverage >= ratio_) {
                coverage = coverage - ratio_;
                // More spans than target pixels would write past the row.
                if (count == emitted) return false;
                ends[count] = static_cast<uint32_t>(i);
                carries[count] = coverage;
                ++count;
            }
        }
        return count == emitted;
    }

    double ratio_;
    uint64_t tableSize_;
    platform::HeapBlock table_;
    platform::HeapBlock spanEnds_;
    platform::HeapBlock carries_;
    bool ready_ = false;
};

// The part of a boundary value that belongs to the next span.
inline uint32_t carryOf(uint32_t value, double coverage) {
    return static_cast<uint32_t>(static_cast<double>(value) * coverage + 0.5);
}

// Shrinks every row from `width` to `targetWidth` pixels.
bool horizontalPass(const uint8_t* source, int32_t width, int32_t height, uint8_t* destination,
                    int32_t targetWidth) {
    PassPlan plan(width, targetWidth);
    if (!plan.ready()) return false;
    const uint8_t* table = plan.table();
    const uint32_t* spanEnds = plan.spanEnds();
    const double* carries = plan.carries();
    const size_t sourceStride = rowStride(width, 24);
    const size_t targetStride = rowStride(targetWidth, 24);

    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = source + static_cast<size_t>(y) * sourceStride;
        const uint8_t* p = row;
        uint8_t* out = destination + static_cast<size_t>(y) * targetStride;
        uint32_t tb = 0, tg = 0, tr = 0;
        for (int32_t x = 0; x + 1 < targetWidth; ++x) {
            const uint8_t* boundary = row + 3 * static_cast<size_t>(spanEnds[x]);
            for (; p < boundary; p += 3) {
                tb += p[0];
                tg += p[1];
                tr += p[2];
            }
            tb += p[0];
            tg += p[1];
            tr += p[2];
            const double coverage = carries[x];
            const uint32_t cb = carryOf(p[0], coverage);
            const uint32_t cg = carryOf(p[1], coverage);
            const uint32_t cr = carryOf(p[2], coverage);
            out[0] = table[tb - cb];
            out[1] = table[tg - cg];
            out[2] = table[tr - cr];
            tb = cb;
            tg = cg;
            tr = cr;
            p += 3;
            out += 3;
        }
        // The last span takes the rest of the row.
        const uint8_t* end = row + 3 * static_cast<size_t>(width);
        for (; p < end; p += 3) {
            tb += p[0];
            tg += p[1];
            tr += p[2];
        }
        out[0] = table[tb];
        out[1] = table[tg];
        out[2] = table[tr];
    }
    return true;
}

void addRow(uint32_t* __restrict totals, const uint8_t* __restrict row, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) totals[i] += row[i];
}

// Adds the boundary row, emits the means of the span that it closes and keeps
// the boundary row's carried part as the start of the next span.
void emitRow(uint32_t* __restrict totals, const uint8_t* __restrict row,
             const uint8_t* __restrict carry, const uint8_t* __restrict table,
             uint8_t* __restrict out, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        const uint32_t value = row[i];
        const uint32_t kept = carry[value];
        out[i] = table[totals[i] + value - kept];
        totals[i] = kept;
    }
}

// Shrinks every column from `height` to `targetHeight` rows. The columns are
// swept together, a row at a time, with one running total per channel byte.
bool verticalPass(const uint8_t* source, int32_t width, int32_t height, uint8_t* destination,
                  int32_t targetHeight) {
    PassPlan plan(height, targetHeight);
    const size_t rowBytes = 3 * static_cast<size_t>(width);
    platform::HeapBlock totalsBlock;
    if (!plan.ready() || !allocateAtLeastOne(totalsBlock, sizeof(uint32_t) * rowBytes))
        return false;
    uint32_t* totals = totalsBlock.as<uint32_t>();
    const uint8_t* table = plan.table();
    const uint32_t* spanEnds = plan.spanEnds();
    const double* carries = plan.carries();
    const size_t stride = rowStride(width, 24);

    uint8_t carry[256];
    int32_t y = 0;
    for (int32_t j = 0; j + 1 < targetHeight; ++j) {
        const int32_t boundary = static_cast<int32_t>(spanEnds[j]);
        for (; y < boundary; ++y)
            addRow(totals, source + static_cast<size_t>(y) * stride, rowBytes);
        for (uint32_t v = 0; v < 256; ++v) carry[v] = static_cast<uint8_t>(carryOf(v, carries[j]));
        emitRow(totals, source + static_cast<size_t>(y) * stride, carry, table,
                destination + static_cast<size_t>(j) * stride, rowBytes);
        ++y;
    }
    // The last span takes the remaining rows.
    for (; y + 1 < height; ++y) addRow(totals, source + static_cast<size_t>(y) * stride, rowBytes);
    const uint8_t* row = source + static_cast<size_t>(y) * stride;
    uint8_t* out = destination + static_cast<size_t>(targetHeight - 1) * stride;
    for (size_t i = 0; i < rowBytes; ++i) out[i] = table[totals[i] + row[i]];
    return true;
}

}  // namespace

uint64_t shrinkTableSize(double ratio) {
    if (!(ratio >= 1.0)) return 0;
    const double last = 255.0 * ratio + 0.5;
    // Span totals reach L + 1 and are held in 32 bits.
    if (last >= 4294967295.0) return 0;
    return static_cast<uint64_t>(last) + 2;
}

void fillShrinkTable(double ratio, uint8_t* table) {
    const uint64_t last = shrinkTableSize(ratio) - 1;
    for (uint64_t i = 0; i < last; ++i)
        table[i] = static_cast<uint8_t>(static_cast<double>(i) / ratio + 0.5);
    table[last] = 255;
}

bool Resampler::resample(int32_t targetWidth, int32_t targetHeight) {
    usedIntermediate_ = false;
    if (targetWidth <= 0 || targetHeight <= 0) return false;
    if (targetWidth > sourceWidth || targetHeight > sourceHeight) return false;
    if (!sourcePixels || !destinationPixels || rowStride(sourceWidth, 24) == 0) return false;

    if (targetHeight == sourceHeight)
        return horizontalPass(sourcePixels, sourceWidth, sourceHeight, destinationPixels,
                              targetWidth);
    if (targetWidth == sourceWidth)
        return verticalPass(sourcePixels, sourceWidth, sourceHeight, destinationPixels,
                            targetHeight);

    // Both sides change: the height first, into a picture of the source width.
    PictureBuffer intermediate(sourceWidth, targetHeight);
    if (!intermediate.pixels()) return false;
    usedIntermediate_ = true;
    if (!verticalPass(sourcePixels, sourceWidth, sourceHeight, intermediate.pixels(), targetHeight))
        return false;
    return horizontalPass(intermediate.pixels(), sourceWidth, targetHeight, destinationPixels,
                          targetWidth);
}
