#include "imaging/color_reducer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "imaging/color_reducer_colors.h"
#include "imaging/color_reducer_median_cut.h"
#include "imaging/color_reducer_nearest.h"
#include "platform/platform.h"

using reducer::allocatePageArray;
using reducer::ColorSet;
using reducer::PageArray;

namespace {

constexpr uint64_t kLimit32 = UINT32_MAX;
constexpr int kSquareEntries = 511;  // differences -255..255

inline uint32_t keyOf(const RgbQuad& q) {
    return q.blue | q.green << 8 | static_cast<uint32_t>(q.red) << 16;
}
inline bool sameColor(const RgbQuad& a, const RgbQuad& b) {
    return a.blue == b.blue && a.green == b.green && a.red == b.red;
}
inline uint64_t packedStride(uint64_t width, int bytesPerPixel) {
    return (width * bytesPerPixel + 3) & ~uint64_t{3};
}

// The first `count` distinct colours of the picture in the order they first
// occur, scanning rows in storage order, left to right.
void collectInOrder(const uint32_t* work, uint64_t pixels, const ColorSet& set, uint32_t count,
                    uint32_t* colors) {
    bool seen[256] = {};
    uint32_t held = 0;
    for (uint64_t i = 0; i < pixels && held < count; ++i) {
        uint32_t rank = set.rank(work[i]);
        if (!seen[rank]) {
            seen[rank] = true;
            colors[held++] = work[i];
        }
    }
}

// Selection sort on B + G + R; the earliest position wins among equal sums.
// Swapping means equal sums need not keep their order of first occurrence.
void sortBySum(uint32_t* colors, uint32_t count) {
    auto sum = [](uint32_t key) {
        return reducer::blueOf(key) + reducer::greenOf(key) + reducer::redOf(key);
    };
    for (uint32_t j = 0; j < count; ++j) {
        uint32_t smallest = 766, at = j;
        for (uint32_t k = j; k < count; ++k) {
            if (sum(colors[k]) < smallest) {
                smallest = sum(colors[k]);
                at = k;
            }
        }
        std::swap(colors[j], colors[at]);
    }
}

// The exact palette of a picture with at most 256 colours. A 24-bit picture
// gets its colours sorted by B + G + R (B, G, R written, reserved untouched);
// an 8-bit picture gets its own palette with repeated colours dropped, entries
// copied whole.
void exactPalette(int32_t sourceBits, const RgbQuad* sourcePalette, const uint32_t* work,
                  uint64_t pixels, const ColorSet& set, uint32_t count, RgbQuad* palette) {
    if (sourceBits == 8) {
        int kept = 0;
        for (int i = 0; i < 256; ++i) {
            bool repeated = false;
            for (int k = 0; k < kept && !repeated; ++k)
                repeated = sameColor(palette[k], sourcePalette[i]);
            if (!repeated) palette[kept++] = sourcePalette[i];
        }
        return;
    }
    uint32_t colors[256];
    collectInOrder(work, pixels, set, count, colors);
    sortBySum(colors, count);
    for (uint32_t i = 0; i < count; ++i) {
        palette[i].blue = static_cast<uint8_t>(reducer::blueOf(colors[i]));
        palette[i].green = static_cast<uint8_t>(reducer::greenOf(colors[i]));
        palette[i].red = static_cast<uint8_t>(reducer::redOf(colors[i]));
    }
}

}  // namespace

void ColorReducer::configure(int32_t width, int32_t height, int32_t sourceBits,
                             int32_t targetBits) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    sourceBits_ = sourceBits;
    targetBits_ = targetBits;
    const uint64_t w = static_cast<uint64_t>(width_);
    uint64_t rowBytes = targetBits == 8 ? w : 3 * w;
    if (rowBytes > INT32_MAX) rowBytes = 0;
    uint64_t stride = (rowBytes + 3) & ~uint64_t{3};
    if (stride > INT32_MAX) stride = 0;
    uint64_t imageSize = stride * static_cast<uint64_t>(height_);
    targetRowBytes_ = static_cast<int32_t>(rowBytes);
    targetStride_ = static_cast<int32_t>(stride);
    targetImageSize_ = imageSize > kLimit32 ? 0 : static_cast<uint32_t>(imageSize);
    workStride_ = 4 * w > INT32_MAX ? 0 : static_cast<int32_t>(4 * w);
}

bool ColorReducer::convertPacked(const RgbQuad* sourcePalette, const uint8_t* sourcePixels,
                                 RgbQuad* destinationPalette, uint8_t* destinationPixels) {
    sourcePalette_ = sourcePalette;
    sourcePixels_ = sourcePixels;
    destinationPalette_ = destinationPalette;
    destinationPixels_ = destinationPixels;
    // No pixels, or a target too large for 32 bits: nothing sensible to produce.
    if (!sourcePixels || !destinationPixels || targetImageSize_ == 0) return false;
    if (sourceBits_ == 8 && targetBits_ == 8) {
        if (!sourcePalette || !destinationPalette) return false;
        std::memcpy(destinationPalette, sourcePalette, 256 * sizeof(RgbQuad));
        std::memcpy(destinationPixels, sourcePixels, targetImageSize_);
        return true;
    }
    if (sourceBits_ == 8 && targetBits_ == 24) return widen(destinationPixels);
    if (sourceBits_ == 24 && targetBits_ == 8)
        return narrow(destinationPixels, static_cast<uint64_t>(targetStride_));
    return false;
}

bool ColorReducer::convertToIndices(const RgbQuad* sourcePalette, const uint8_t* sourcePixels,
                                    RgbQuad* destinationPalette, uint8_t* destinationIndices) {
    sourcePalette_ = sourcePalette;
    sourcePixels_ = sourcePixels;
    destinationPalette_ = destinationPalette;
    destinationPixels_ = destinationIndices;
    if (targetBits_ != 8) return false;
    return narrow(destinationIndices, static_cast<uint64_t>(width_));
}

bool ColorReducer::ensureSquareTable() {
    if (squareCentre_) return true;
    if (!squareStorage_.allocate(kSquareEntries * sizeof(int32_t))) return false;
    int32_t* squares = squareStorage_.as<int32_t>();
    for (int d = -255; d <= 255; ++d) squares[d + 255] = d * d;
    squareCentre_ = squares + 255;
    return true;
}

bool ColorReducer::widen(uint8_t* output) const {
    if (!sourcePalette_) return false;
    const uint64_t w = static_cast<uint64_t>(width_);
    const uint64_t sourceStride = packedStride(w, 1);
    const uint64_t stride = static_cast<uint64_t>(targetStride_);
    for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* in = sourcePixels_ + y * sourceStride;
        uint8_t* out = output + y * stride;
        for (uint64_t x = 0; x < w; ++x) {
            const RgbQuad& entry = sourcePalette_[in[x]];
            out[0] = entry.blue;
            out[1] = entry.green;
            out[2] = entry.red;
            out += 3;
        }
        std::memset(out, 0, stride - 3 * w);
    }
    return true;
}

bool ColorReducer::narrow(uint8_t* output, uint64_t outputStride) {
    if (sourceBits_ != 8 && sourceBits_ != 24) return false;
    if (!sourcePixels_ || !output || !destinationPalette_) return false;
    if (sourceBits_ == 8 && !sourcePalette_) return false;
    if (!ensureSquareTable()) return false;

    const uint64_t w = static_cast<uint64_t>(width_), h = static_cast<uint64_t>(height_);
    if (4 * w > kLimit32 || 4 * w * h > kLimit32) return false;
    const uint64_t pixels = w * h;
    if (pixels == 0) return false;

    // Work buffer: one colour key (B, G, R, 0) per pixel; the colour set
    // marks every colour that occurs.
    PageArray<uint32_t> work = allocatePageArray<uint32_t>(pixels + 1);
    if (!work) return false;
    ColorSet set;
    if (!set.allocate()) return false;
    if (sourceBits_ == 24) {
        const uint64_t sourceStride = packedStride(w, 3);
        uint32_t* key = work.get();
        for (uint64_t y = 0; y < h; ++y) {
            const uint8_t* in = sourcePixels_ + y * sourceStride;
            for (uint64_t x = 0; x < w; ++x, in += 3) {
                *key = in[0] | in[1] << 8 | static_cast<uint32_t>(in[2]) << 16;
                set.insert(*key++);
            }
        }
    } else {
        uint32_t paletteKeys[256];
        for (int i = 0; i < 256; ++i) paletteKeys[i] = keyOf(sourcePalette_[i]);
        const uint64_t sourceStride = packedStride(w, 1);
        uint32_t* key = work.get();
        for (uint64_t y = 0; y < h; ++y) {
            const uint8_t* in = sourcePixels_ + y * sourceStride;
            for (uint64_t x = 0; x < w; ++x) {
                *key = paletteKeys[in[x]];
                set.insert(*key++);
            }
        }
    }
    const uint32_t distinct = set.finish();
    if (distinct == 0) return false;

    // Palette index of every distinct colour, by rank.
    PageArray<uint8_t> indexByRank = allocatePageArray<uint8_t>(distinct);
    if (!indexByRank) return false;
    if (distinct <= 256) {
        exactPalette(sourceBits_, sourcePalette_, work.get(), pixels, set, distinct,
                     destinationPalette_);
        // Exact mapping: the first entry with the pixel's colour. Going down
        // from 255 lets lower indices overwrite higher ones.
        for (int i = 255; i >= 0; --i) {
            uint32_t key = keyOf(destinationPalette_[i]);
            if (set.contains(key)) indexByRank[set.rank(key)] = static_cast<uint8_t>(i);
        }
    } else {
        PageArray<reducer::WeightedColor> colors =
            allocatePageArray<reducer::WeightedColor>(distinct);
        if (!colors) return false;
        uint32_t rank = 0;
        set.forEach([&](uint32_t key) { colors[rank++].key = key; });
        for (uint64_t i = 0; i < pixels; ++i) ++colors[set.rank(work[i])].count;
        reducer::medianCut(colors.get(), distinct, 256, destinationPalette_);
        colors.reset();

        reducer::NearestColorSearch search(destinationPalette_, squareCentre_);
        if (!search.valid()) return false;
        rank = 0;
        set.forEach([&](uint32_t key) { indexByRank[rank++] = search.find(key); });
    }

    const uint32_t* key = work.get();
    for (uint64_t y = 0; y < h; ++y) {
        uint8_t* out = output + y * outputStride;
        for (uint64_t x = 0; x < w; ++x) out[x] = indexByRank[set.rank(*key++)];
        std::memset(out + w, 0, outputStride - w);
    }
    return true;
}
