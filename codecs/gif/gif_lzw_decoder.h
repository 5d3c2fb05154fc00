// LZW decompression of GIF image data into a buffer of palette indices.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gif {

inline constexpr int kMaxCodeWidth = 12;
inline constexpr int kTableSize = 1 << kMaxCodeWidth;  // 4096 codes

// The decoder's string table, index = code. A string is its prefix's string
// followed by `last`; roots (codes below the clear code) have length 1.
struct LzwDecoderTable {
    uint16_t prefix[kTableSize];
    uint16_t length[kTableSize];
    uint8_t last[kTableSize];
};

// Padding the caller must leave, zero-filled, after the image data so that
// the bit reader can load whole words near the end.
inline constexpr size_t kLzwInputPadding = 8;

struct LzwDecodeResult {
    size_t written = 0;        // index bytes produced
    bool endCodeSeen = false;  // the data closed with an end code
};

// Decodes `size` bytes of concatenated sub-block data (followed by
// kLzwInputPadding zero bytes) with the given minimum code size (2..8) into
// out[0..outSize). Damaged data never fails: decoding stops at the first code
// that cannot be followed, when the data is used up, or when the output is
// full, and whatever was not written keeps its previous content.
LzwDecodeResult decodeLzw(LzwDecoderTable& table, const uint8_t* data, size_t size, int minCodeSize,
                          uint8_t* out, size_t outSize);

}  // namespace gif
