#include "tests/imaging/reducer_reference.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace {

struct Box {
    int median[3];
    int channel, priority, splitMedian, splitMaximum;
    uint32_t first, last;
};

void measure(const std::vector<uint8_t>& work, const std::vector<uint32_t>& index, Box& box) {
    uint32_t histogram[3][256] = {};
    int minimum[3] = {255, 255, 255}, maximum[3] = {0, 0, 0};
    for (uint32_t i = box.first; i <= box.last; ++i) {
        for (int c = 0; c < 3; ++c) {
            int v = work[4 * size_t{index[i]} + c];
            ++histogram[c][v];
            if (v < minimum[c]) minimum[c] = v;
            if (v > maximum[c]) maximum[c] = v;
        }
    }
    uint32_t half = (box.last - box.first + 1) >> 1;
    for (int c = 0; c < 3; ++c) {
        uint32_t running = 0;
        for (int v = 0; v < 256; ++v) {
            running += histogram[c][v];
            if (running > half) {
                box.median[c] = v;
                break;
            }
        }
    }
    int rB = maximum[0] - minimum[0], rG = maximum[1] - minimum[1], rR = maximum[2] - minimum[2];
    int channel = 2, weight = (3 * rR) >> 1;
    if (2 * rG > weight) channel = 1, weight = 2 * rG;
    if (rB > weight) channel = 0, weight = rB;
    box.channel = channel;
    box.priority = weight;
    box.splitMedian = box.median[channel];
    box.splitMaximum = maximum[channel];
}

}  // namespace

uint8_t referenceNearestIndex(const RgbQuad* palette, uint8_t blue, uint8_t green, uint8_t red) {
    int best = 195076, bestIndex = 0;
    for (int i = 0; i < 256; ++i) {
        int db = blue - palette[i].blue, dg = green - palette[i].green, dr = red - palette[i].red;
        int distance = db * db + dg * dg + dr * dr;
        if (distance < best) best = distance, bestIndex = i;
    }
    return static_cast<uint8_t>(bestIndex);
}

bool referenceNarrow(int32_t width, int32_t height, int sourceBits, const RgbQuad* sourcePalette,
                     const uint8_t* sourcePixels, RgbQuad* palette, uint8_t* indices) {
    if (width <= 0 || height <= 0 || (sourceBits != 8 && sourceBits != 24)) return false;
    const size_t w = width, h = height, pixels = w * h;
    const size_t stride = (w * (sourceBits / 8) + 3) & ~size_t{3};
    std::vector<uint8_t> work(pixels * 4 + 4);
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            uint8_t* px = &work[4 * (y * w + x)];
            if (sourceBits == 24) {
                const uint8_t* in = sourcePixels + y * stride + 3 * x;
                px[0] = in[0], px[1] = in[1], px[2] = in[2];
            } else {
                const RgbQuad& q = sourcePalette[sourcePixels[y * stride + x]];
                px[0] = q.blue, px[1] = q.green, px[2] = q.red;
            }
        }
    }
    auto keyAt = [&](size_t i) {
        return work[4 * i] + 256u * work[4 * i + 1] + 65536u * work[4 * i + 2];
    };
    std::vector<bool> bits(1u << 24);
    uint32_t distinct = 0;
    for (size_t i = 0; i < pixels; ++i) {
        if (!bits[keyAt(i)]) bits[keyAt(i)] = true, ++distinct;
    }

    if (distinct <= 256) {
        if (sourceBits == 24) {
            std::vector<uint32_t> colors;
            for (size_t i = 0; i < pixels && colors.size() < distinct; ++i) {
                bool held = false;
                for (uint32_t c : colors) held = held || c == keyAt(i);
                if (!held) colors.push_back(keyAt(i));
            }
            auto sum = [](uint32_t k) { return (k & 255) + (k >> 8 & 255) + (k >> 16); };
            for (size_t j = 0; j < colors.size(); ++j) {
                uint32_t smallest = 766;
                size_t at = j;
                for (size_t k = j; k < colors.size(); ++k)
                    if (sum(colors[k]) < smallest) smallest = sum(colors[k]), at = k;
                std::swap(colors[j], colors[at]);
            }
            for (size_t i = 0; i < colors.size(); ++i) {
                palette[i].blue = colors[i] & 255;
                palette[i].green = colors[i] >> 8 & 255;
                palette[i].red = colors[i] >> 16;
            }
        } else {
            int kept = 0;
            for (int i = 0; i < 256; ++i) {
                bool repeated = false;
                for (int k = 0; k < kept; ++k)
                    repeated = repeated || (palette[k].blue == sourcePalette[i].blue &&
                                            palette[k].green == sourcePalette[i].green &&
                                            palette[k].red == sourcePalette[i].red);
                if (!repeated) palette[kept++] = sourcePalette[i];
            }
        }
        for (size_t i = 0; i < pixels; ++i) {
            int found = 0;
            for (int e = 255; e >= 0; --e)
                if (palette[e].blue == work[4 * i] && palette[e].green == work[4 * i + 1] &&
                    palette[e].red == work[4 * i + 2])
                    found = e;
            indices[i] = static_cast<uint8_t>(found);
        }
        return true;
    }

    std::vector<uint32_t> index(pixels + 1);
    for (size_t i = 0; i < pixels; ++i) index[i] = static_cast<uint32_t>(i);
    std::vector<Box> boxes(1);
    boxes[0].first = 0;
    boxes[0].last = static_cast<uint32_t>(pixels - 1);
    measure(work, index, boxes[0]);
    while (boxes.size() < 256) {
        size_t chosen = 0;
        for (size_t i = 1; i < boxes.size(); ++i)
            if (boxes[i].priority > boxes[chosen].priority) chosen = i;
        Box box = boxes[chosen];
        int t = box.splitMedian == box.splitMaximum ? box.splitMaximum - 1 : box.splitMedian;
        // Values <= t to the front, keeping the order within each part.
        std::vector<uint32_t> low, high;
        for (uint32_t i = box.first; i <= box.last; ++i)
            (work[4 * size_t{index[i]} + box.channel] <= t ? low : high).push_back(index[i]);
        uint32_t lo = box.first;
        for (uint32_t v : low) index[lo++] = v;
        for (uint32_t i = 0; i < high.size(); ++i) index[lo + i] = high[i];
        Box added{};
        added.first = lo;
        added.last = box.last;
        boxes[chosen].last = lo - 1;
        measure(work, index, added);
        boxes.push_back(added);
        measure(work, index, boxes[chosen]);
    }
    for (int i = 0; i < 256; ++i) {
        palette[i].blue = static_cast<uint8_t>(boxes[i].median[0]);
        palette[i].green = static_cast<uint8_t>(boxes[i].median[1]);
        palette[i].red = static_cast<uint8_t>(boxes[i].median[2]);
    }
    for (size_t i = 0; i < pixels; ++i)
        indices[i] = referenceNearestIndex(palette, work[4 * i], work[4 * i + 1], work[4 * i + 2]);
    return true;
}
