// Building blocks of the colour reducer: page-allocated arrays (the
// platform's), and the set of distinct 24-bit colours of a picture.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "platform/owned_memory.h"

namespace reducer {

using platform::allocatePageArray;
using platform::PageArray;

// A colour key is B + 256 G + 65536 R, which is also a work-buffer pixel read
// as a little-endian u32 with its fourth byte 0.
inline uint32_t blueOf(uint32_t key) {
    return key & 0xFF;
}
inline uint32_t greenOf(uint32_t key) {
    return key >> 8 & 0xFF;
}
inline uint32_t redOf(uint32_t key) {
    return key >> 16 & 0xFF;
}

// Set bits of a word. Without a population-count instruction in the target
// (the default for x86-64), std::popcount becomes a library call per rank.
inline uint32_t bitCount(uint64_t v) {
#if defined(__POPCNT__)
    return static_cast<uint32_t>(std::popcount(v));
#else
    v = v - ((v >> 1) & 0x5555555555555555);
    v = (v & 0x3333333333333333) + ((v >> 2) & 0x3333333333333333);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<uint32_t>((v * 0x0101010101010101) >> 56);
#endif
}

// One bit per possible 24-bit colour (2 MiB), plus, once counting is done, the
// number of set bits before each 64-bit word so that every present colour has
// a dense rank 0..count-1 in key order.
class ColorSet {
  public:
    static constexpr uint32_t kWords = (1u << 24) / 64;

    bool allocate() {
        bits_ = allocatePageArray<uint64_t>(kWords);
        ranks_ = allocatePageArray<uint32_t>(kWords);
        return bits_ && ranks_;
    }
    void insert(uint32_t key) { bits_[key >> 6] |= uint64_t{1} << (key & 63); }
    bool contains(uint32_t key) const { return bits_[key >> 6] >> (key & 63) & 1; }

    // Builds the rank table; returns the number of distinct colours.
    uint32_t finish() {
        uint32_t total = 0;
        for (uint32_t w = 0; w < kWords; ++w) {
            ranks_[w] = total;
            total += bitCount(bits_[w]);
        }
        return total;
    }
    // Rank of a colour that is in the set.
    uint32_t rank(uint32_t key) const {
        uint64_t below = bits_[key >> 6] & ((uint64_t{1} << (key & 63)) - 1);
        return ranks_[key >> 6] + bitCount(below);
    }
    // Calls visit(key) for every colour in the set, in key (= rank) order.
    template <class Visit>
    void forEach(Visit visit) const {
        for (uint32_t w = 0; w < kWords; ++w) {
            for (uint64_t word = bits_[w]; word != 0; word &= word - 1)
                visit(w << 6 | static_cast<uint32_t>(std::countr_zero(word)));
        }
    }

  private:
    PageArray<uint64_t> bits_;
    PageArray<uint32_t> ranks_;
};

}  // namespace reducer
