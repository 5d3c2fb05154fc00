#include "codecs/png/png_layouts.h"

#include <cstring>

namespace png {
namespace {

void convertPacked(const uint8_t* row, const RowOutput& out) {
    const int depth = out.bitDepth;
    const int perByte = 8 / depth;
    const uint8_t mask = static_cast<uint8_t>((1u << depth) - 1);
    const size_t step = out.columnStep;
    uint8_t* target = out.pixels;
    uint32_t left = out.count;
    for (; left >= static_cast<uint32_t>(perByte); left -= perByte) {
        const uint8_t byte = *row++;
        for (int shift = 8 - depth; shift >= 0; shift -= depth, target += step)
            *target = static_cast<uint8_t>((byte >> shift) & mask);
    }
    // The last byte of a row may hold fewer pixels, most significant bits first.
    if (left != 0) {
        const uint8_t byte = *row;
        for (int shift = 8 - depth; left != 0; --left, shift -= depth, target += step)
            *target = static_cast<uint8_t>((byte >> shift) & mask);
    }
}

// Gray and palette rows: one kept byte every PixelBytes bytes; alpha (if any)
// AlphaOffset bytes further.
template <int PixelBytes, int AlphaOffset>
void convertGray(const uint8_t* row, const RowOutput& out) {
    const uint32_t count = out.count;
    const size_t step = out.columnStep;
    uint8_t* target = out.pixels;
    if constexpr (PixelBytes == 1) {
        if (step == 1) {
            std::memcpy(target, row, count);
            return;
        }
    }
    for (uint32_t x = 0; x < count; ++x) target[x * step] = row[x * PixelBytes];
    if constexpr (AlphaOffset > 0) {
        uint8_t* alpha = out.alpha;
        for (uint32_t x = 0; x < count; ++x) alpha[x * step] = row[x * PixelBytes + AlphaOffset];
    }
}

// Colour rows: red, green, blue samples SampleBytes apart, stored blue, green,
// red; alpha (if any) AlphaOffset bytes into the pixel.
template <int PixelBytes, int SampleBytes, int AlphaOffset>
void convertColour(const uint8_t* __restrict row, const RowOutput& out) {
    const uint32_t count = out.count;
    uint8_t* __restrict target = out.pixels;
    if (out.columnStep == 1) {
        for (uint32_t x = 0; x < count; ++x, row += PixelBytes, target += 3) {
            target[0] = row[2 * SampleBytes];
            target[1] = row[SampleBytes];
            target[2] = row[0];
        }
    } else {
        const size_t outputStep = 3 * static_cast<size_t>(out.columnStep);
        for (uint32_t x = 0; x < count; ++x, row += PixelBytes, target += outputStep) {
            target[0] = row[2 * SampleBytes];
            target[1] = row[SampleBytes];
            target[2] = row[0];
        }
    }
    if constexpr (AlphaOffset > 0) {
        row -= static_cast<size_t>(count) * PixelBytes;
        const size_t step = out.columnStep;
        uint8_t* alpha = out.alpha;
        for (uint32_t x = 0; x < count; ++x) alpha[x * step] = row[x * PixelBytes + AlphaOffset];
    }
}

}  // namespace

bool layoutFor(int bitDepth, int colourType, LayoutInfo& info) {
    auto set = [&](PixelLayout layout, int bpp, int bits, bool alpha, bool high) {
        info = LayoutInfo{layout, bpp, bits, alpha, high};
        return true;
    };
    switch (colourType) {
        case 0:
            if (bitDepth <= 4) return set(PixelLayout::Packed, 1, 8, false, false);
            if (bitDepth == 8) return set(PixelLayout::Gray8, 1, 8, false, false);
            return set(PixelLayout::Gray16, 2, 8, false, true);
        case 3:
            if (bitDepth <= 4) return set(PixelLayout::Packed, 1, 8, false, false);
            if (bitDepth == 8) return set(PixelLayout::Gray8, 1, 8, false, false);
            return false;
        case 4:
            if (bitDepth == 8) return set(PixelLayout::GrayAlpha8, 2, 8, true, false);
            if (bitDepth == 16) return set(PixelLayout::GrayAlpha16, 4, 8, true, true);
            return false;
        case 2:
            if (bitDepth == 8) return set(PixelLayout::Rgb8, 3, 24, false, false);
            if (bitDepth == 16) return set(PixelLayout::Rgb16, 6, 24, false, true);
            return false;
        case 6:
            if (bitDepth == 8) return set(PixelLayout::Rgba8, 4, 24, true, false);
            if (bitDepth == 16) return set(PixelLayout::Rgba16, 8, 24, true, true);
            return false;
        default:
            return false;
    }
}

RowConverter converterFor(PixelLayout layout) {
    switch (layout) {
        case PixelLayout::Packed:
            return convertPacked;
        case PixelLayout::Gray8:
            return convertGray<1, 0>;
        case PixelLayout::GrayAlpha8:
            return convertGray<2, 1>;
        case PixelLayout::Gray16:
            return convertGray<2, 0>;
        case PixelLayout::GrayAlpha16:
            return convertGray<4, 2>;
        case PixelLayout::Rgb8:
            return convertColour<3, 1, 0>;
        case PixelLayout::Rgba8:
            return convertColour<4, 1, 3>;
        case PixelLayout::Rgb16:
            return convertColour<6, 2, 0>;
        case PixelLayout::Rgba16:
            return convertColour<8, 2, 6>;
    }
    return nullptr;
}

uint64_t rowLength(uint64_t pixels, int bitDepth, int filterBytesPerPixel) {
    switch (bitDepth) {
        case 1:
            return (pixels + 7) / 8 + 1;
        case 2:
            return (pixels + 3) / 4 + 1;
        case 4:
            return (pixels + 1) / 2 + 1;
        default:
            return pixels * static_cast<uint64_t>(filterBytesPerPixel) + 1;
    }
}

}  // namespace png
