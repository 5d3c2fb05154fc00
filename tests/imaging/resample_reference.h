// Straightforward versions of the shrink and the sharpening, written as the
// algorithms read, one pixel and one double at a time. The tests hold the fast
// engine to these byte for byte.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace reference {

inline size_t stride24(int64_t width) {
    return static_cast<size_t>((3 * width + 3) & ~int64_t{3});
}

// A 24-bit picture with its padding, zero-filled like a fresh page allocation.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> bytes;

    Picture() = default;
    Picture(int32_t w, int32_t h) : width(w), height(h), bytes(stride24(w) * h + 4, 0) {}
    size_t stride() const { return stride24(width); }
    uint8_t* at(int32_t x, int32_t y) { return bytes.data() + y * stride() + 3 * x; }
    const uint8_t* at(int32_t x, int32_t y) const { return bytes.data() + y * stride() + 3 * x; }
    // Only the pixel bytes, row after row (padding left out).
    std::vector<uint8_t> pixelBytes() const {
        std::vector<uint8_t> out;
        for (int32_t y = 0; y < height; ++y) out.insert(out.end(), at(0, y), at(0, y) + 3 * width);
        return out;
    }
};

// Random pixels; `smooth` makes neighbouring values close, as in photos, so
// that both sides of the sharpening threshold are reached.
inline Picture randomPicture(int32_t w, int32_t h, std::mt19937& rng, bool smooth = false) {
    Picture p(w, h);
    std::uniform_int_distribution<int> any(0, 255), step(-12, 12);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                int v = any(rng);
                if (smooth && x > 0) v = std::clamp(p.at(x - 1, y)[c] + step(rng), 0, 255);
                if (smooth && x == 0 && y > 0)
                    v = std::clamp(p.at(x, y - 1)[c] + step(rng), 0, 255);
                p.at(x, y)[c] = static_cast<uint8_t>(v);
            }
    return p;
}

inline std::vector<uint8_t> shrinkTable(double r) {
    const uint32_t last = static_cast<uint32_t>(255.0 * r + 0.5);
    std::vector<uint8_t> table(last + 2);
    for (uint32_t i = 0; i <= last; ++i) table[i] = static_cast<uint8_t>(i / r + 0.5);
    table[last + 1] = 255;
    return table;
}

// One pass along `count` lines of `length` values each; value k of line n is
// at base + n * lineStep + k * step, and the target the same with its steps.
inline void shrinkLines(const uint8_t* source, size_t lineStep, size_t step, int32_t length,
                        int32_t count, uint8_t* target, size_t targetLineStep, size_t targetStep,
                        int32_t targetLength) {
    const double r = static_cast<double>(length) / targetLength;
    const std::vector<uint8_t> table = shrinkTable(r);
    for (int32_t n = 0; n < count; ++n) {
        for (int c = 0; c < 3; ++c) {
            const uint8_t* in = source + n * lineStep + c;
            uint8_t* out = target + n * targetLineStep + c;
            double s = 0.0;
            uint32_t total = 0;
            int32_t emitted = 0;
            for (int32_t k = 0; k + 1 < length; ++k) {
                s = s + 1.0;
                const uint32_t v = in[k * step];
                total += v;
                if (s >= r) {
                    s = s - r;
                    const uint32_t carry = static_cast<uint32_t>(v * s + 0.5);
                    out[emitted++ * targetStep] = table.at(total - carry);
                    total = carry;
                }
            }
            total += in[(length - 1) * step];
            if (emitted != targetLength - 1) std::abort();
            out[emitted * targetStep] = table.at(total);
        }
    }
}

inline Picture shrinkWidth(const Picture& p, int32_t w) {
    Picture out(w, p.height);
    shrinkLines(p.bytes.data(), p.stride(), 3, p.width, p.height, out.bytes.data(), out.stride(), 3,
                w);
    return out;
}

inline Picture shrinkHeight(const Picture& p, int32_t h) {
    Picture out(p.width, h);
    // Each column of each channel: lines start 3 bytes apart, values a stride apart.
    shrinkLines(p.bytes.data(), 3, p.stride(), p.height, p.width, out.bytes.data(), 3, out.stride(),
                h);
    return out;
}

inline Picture resample(const Picture& p, int32_t w, int32_t h) {
    if (h == p.height) return shrinkWidth(p, w);
    if (w == p.width) return shrinkHeight(p, h);
    return shrinkWidth(shrinkHeight(p, h), w);
}

inline uint8_t divideBy25(uint32_t sum) {
    return sum == 0 ? 0 : static_cast<uint8_t>((35389 + 2621 * (sum - 1)) >> 16);
}

// The box blur read directly: 25 reads per channel, coordinates clamped.
inline Picture blur(const Picture& p) {
    Picture out(p.width, p.height);
    for (int32_t y = 0; y < p.height; ++y)
        for (int32_t x = 0; x < p.width; ++x)
            for (int c = 0; c < 3; ++c) {
                uint32_t sum = 0;
                for (int j = -2; j <= 2; ++j)
                    for (int i = -2; i <= 2; ++i)
                        sum += p.at(std::clamp(x + i, 0, p.width - 1),
                                    std::clamp(y + j, 0, p.height - 1))[c];
                out.at(x, y)[c] = divideBy25(sum);
            }
    return out;
}

inline Picture sharpen(const Picture& p, int amount, int threshold) {
    const Picture blurred = blur(p);
    Picture out = blurred;  // the pass writes its pixels over the blur
    for (int32_t y = 0; y < p.height; ++y)
        for (int32_t x = 0; x < p.width; ++x) {
            int d[3];
            for (int c = 0; c < 3; ++c)
                d[c] = std::clamp(p.at(x, y)[c] - blurred.at(x, y)[c], -128, 127);
            const bool strong = std::abs(d[0]) + std::abs(d[1]) + std::abs(d[2]) > threshold;
            for (int c = 0; c < 3; ++c) {
                const int v = p.at(x, y)[c] + (strong ? (d[c] * amount) >> 3 : 0);
                out.at(x, y)[c] = static_cast<uint8_t>(std::clamp(v, 0, 255));
            }
        }
    return out;
}

}  // namespace reference
