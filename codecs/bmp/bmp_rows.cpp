#include "codecs/bmp/bmp_rows.h"

#include <algorithm>
#include <bit>

namespace bmp {

void unpack1BitRow(const uint8_t* source, uint64_t available, uint32_t width, uint8_t* out) {
    const uint64_t pixels = std::min<uint64_t>(width, available * 8);
    uint64_t x = 0;
    for (; x + 8 <= pixels; x += 8) {
        const uint32_t byte = source[x >> 3];
        for (int bit = 0; bit < 8; ++bit) out[x + bit] = byte >> (7 - bit) & 1;
    }
    for (; x < pixels; ++x) out[x] = source[x >> 3] >> (7 - (x & 7)) & 1;
}

void unpack4BitRow(const uint8_t* source, uint64_t available, uint32_t width, uint8_t* out) {
    const uint64_t pixels = std::min<uint64_t>(width, available * 2);
    uint64_t x = 0;
    for (; x + 2 <= pixels; x += 2) {
        out[x] = source[x >> 1] >> 4;
        out[x + 1] = source[x >> 1] & 0x0F;
    }
    if (x < pixels) out[x] = source[x >> 1] >> 4;
}

namespace {
// Position of the highest set bit plus one; at least 1.
int bitWidth(uint64_t value) {
    return std::max(1, static_cast<int>(std::bit_width(value)));
}
}  // namespace

bool BitFields::setMasks(uint32_t redMask, uint32_t greenMask, uint32_t blueMask) {
    mask_[0] = blueMask;
    mask_[1] = greenMask;
    mask_[2] = redMask;
    // Shifts stay below 64 (each width is at most 32), so 64-bit shifts are
    // always defined.
    width_[0] = bitWidth(blueMask);
    width_[1] = bitWidth(uint64_t{greenMask} >> width_[0]);
    width_[2] = bitWidth(uint64_t{redMask} >> (width_[0] + width_[1]));
    shift_[0] = 0;
    shift_[1] = width_[0];
    shift_[2] = width_[0] + width_[1];
    for (int c = 0; c < 3; ++c)
        if (width_[c] >= 32) return false;
    for (int c = 0; c < 3; ++c) {
        if (width_[c] > kTableBits) continue;
        const uint64_t top = (uint64_t{1} << width_[c]) - 1;
        for (uint64_t v = 0; v <= top; ++v) table_[c][v] = static_cast<uint8_t>(v * 255 / top);
    }
    return true;
}

void BitFields::unpack16BitRow(const uint8_t* source, uint64_t available, uint32_t width,
                               uint8_t* out) const {
    const uint64_t pixels = std::min<uint64_t>(width, available / 2);
    for (uint64_t x = 0; x < pixels; ++x, source += 2, out += 3) {
        const uint32_t p = source[0] | source[1] << 8;
        out[0] = scale(0, p);
        out[1] = scale(1, p);
        out[2] = scale(2, p);
    }
}

void BitFields::unpack32BitRow(const uint8_t* source, uint64_t available, uint32_t width,
                               uint8_t* out) const {
    const uint64_t pixels = std::min<uint64_t>(width, available / 4);
    for (uint64_t x = 0; x < pixels; ++x, source += 4, out += 3) {
        const uint32_t p =
            source[0] | source[1] << 8 | source[2] << 16 | static_cast<uint32_t>(source[3]) << 24;
        out[0] = scale(0, p);
        out[1] = scale(1, p);
        out[2] = scale(2, p);
    }
}

}  // namespace bmp
