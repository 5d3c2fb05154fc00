#include "imaging/color_reducer_median_cut.h"

#include <algorithm>
#include <cstring>

#include "imaging/color_reducer_colors.h"

namespace reducer {
namespace {

constexpr int kMaxBoxes = 256;
enum Channel : int32_t { kBlue = 0, kGreen = 1, kRed = 2 };

struct ColorBox {
    int32_t median[3];  // B, G, R: the box's palette colour
    int32_t splitChannel;
    int32_t priority;  // weighted range of the split channel
    int32_t splitMedian;
    int32_t splitMaximum;
    uint32_t first, last;  // inclusive range in the colour array
};

inline uint32_t channelOf(uint32_t key, int32_t channel) {
    return key >> (8 * channel) & 0xFF;
}

// Histograms of the box's pixels give the per-channel medians (the smallest
// value whose running count exceeds half the pixels) and ranges. The split
// channel is the one with the largest weighted range: red 1.5, green 2,
// blue 1; red wins ties with green, and the red/green winner wins ties with blue.
void measure(const WeightedColor* colors, ColorBox& box) {
    uint32_t histogram[3][256];
    std::memset(histogram, 0, sizeof histogram);
    int32_t minimum[3] = {255, 255, 255};
    int32_t maximum[3] = {0, 0, 0};
    uint32_t pixels = 0;
    for (uint32_t i = box.first; i <= box.last; ++i) {
        uint32_t key = colors[i].key, count = colors[i].count;
        pixels += count;
        for (int c = 0; c < 3; ++c) {
            int32_t v = static_cast<int32_t>(channelOf(key, c));
            histogram[c][v] += count;
            minimum[c] = std::min(minimum[c], v);
            maximum[c] = std::max(maximum[c], v);
        }
    }
    uint32_t half = pixels >> 1;
    for (int c = 0; c < 3; ++c) {
        uint32_t running = 0;
        int32_t v = 0;
        for (; v < 255; ++v) {
            running += histogram[c][v];
            if (running > half) break;
        }
        box.median[c] = v;
    }
    int32_t weight[3] = {maximum[kBlue] - minimum[kBlue], 2 * (maximum[kGreen] - minimum[kGreen]),
                         (3 * (maximum[kRed] - minimum[kRed])) >> 1};
    int32_t channel = kRed;
    if (weight[kGreen] > weight[channel]) channel = kGreen;
    if (weight[kBlue] > weight[channel]) channel = kBlue;
    box.splitChannel = channel;
    box.priority = weight[channel];
    box.splitMedian = box.median[channel];
    box.splitMaximum = maximum[channel];
}

}  // namespace

void medianCut(WeightedColor* colors, uint32_t count, int wanted, RgbQuad* palette) {
    if (count == 0) return;
    wanted = std::clamp(wanted, 1, kMaxBoxes);
    ColorBox boxes[kMaxBoxes];
    boxes[0].first = 0;
    boxes[0].last = count - 1;
    measure(colors, boxes[0]);
    int boxCount = 1;
    while (boxCount < wanted) {
        int chosen = 0;
        for (int i = 1; i < boxCount; ++i)
            if (boxes[i].priority > boxes[chosen].priority) chosen = i;
        ColorBox& box = boxes[chosen];
        int32_t channel = box.splitChannel;
        uint32_t threshold = static_cast<uint32_t>(
            box.splitMedian == box.splitMaximum ? box.splitMaximum - 1 : box.splitMedian);
        WeightedColor* upper =
            std::partition(colors + box.first, colors + box.last + 1,
                           [&](WeightedColor c) { return channelOf(c.key, channel) <= threshold; });
        uint32_t split = static_cast<uint32_t>(upper - colors);
        // With more than 256 distinct colours the chosen box always has two
        // values in its split channel, so both parts are non-empty; stop
        // rather than make an empty box should that ever not hold.
        if (split == box.first || split > box.last) break;
        ColorBox& added = boxes[boxCount++];
        added.first = split;
        added.last = box.last;
        box.last = split - 1;
        measure(colors, added);
        measure(colors, box);
    }
    for (int i = 0; i < boxCount; ++i) {
        palette[i].blue = static_cast<uint8_t>(boxes[i].median[kBlue]);
        palette[i].green = static_cast<uint8_t>(boxes[i].median[kGreen]);
        palette[i].red = static_cast<uint8_t>(boxes[i].median[kRed]);
    }
}

}  // namespace reducer
