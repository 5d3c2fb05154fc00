// Upper bounds on how much picture a file's data can describe, per coding.
// A reader compares the memory a picture's declared size needs with what its
// data could possibly produce, and refuses (50002) a large picture that the
// data cannot come close to filling: a few dozen bytes declaring 65535 x 65535
// would otherwise cost gigabytes of memory and seconds of work for a picture
// that is almost entirely missing. Each bound is the format's true maximum
// expansion, so every complete file passes, however well it compresses (a
// flat picture deflates about 1000:1), and pictures whose buffers stay below
// kBoundedBytes are never checked, so small truncated files decode as before.
#pragma once

#include <cstdint>

namespace size_bounds {

// Pictures whose buffers need no more than this are decoded without a check.
inline constexpr uint64_t kBoundedBytes = uint64_t{64} << 20;

// True when a picture that needs `memoryBytes` and whose complete data would
// produce at least `neededUnits` can come from data producing at most
// `describableUnits`. Units are the format's own (bytes, pixels, blocks).
constexpr bool plausible(uint64_t memoryBytes, uint64_t neededUnits, uint64_t describableUnits) {
    return memoryBytes <= kBoundedBytes || neededUnits <= describableUnits;
}

// Deflate: a length code of 258 bytes with a distance code costs at least two
// bits, so a stream expands at most 1032:1; one extra maximal match covers the
// bits of a partial last byte.
constexpr uint64_t inflatedBytesAtMost(uint64_t compressedBytes) {
    return (compressedBytes + 1) * 1032;
}

// GIF LZW: every code is at least minCodeSize + 1 bits wide and yields at most
// one string of the 4096-entry table, so at most 4096 indices.
constexpr uint64_t lzwIndicesAtMost(uint64_t dataBytes, int minCodeSize) {
    const uint64_t codes = dataBytes * 8 / static_cast<uint64_t>(minCodeSize + 1) + 1;
    return codes * 4096;
}

// JPEG with Huffman coding: every block of every component has its DC
// difference coded with a code of at least one bit (in the first DC scan of a
// progressive file), and a sequential file adds at least one more bit for
// its AC coefficients (the end-of-block code). The whole file counts as data.
// Arithmetic coding adapts until a likely decision costs about 2^-15 bits,
// so two decisions per block give the bound there.
constexpr uint64_t jpegBlocksAtMost(uint64_t fileBytes, bool progressive, bool arithmetic) {
    const uint64_t bits = fileBytes * 8;
    if (arithmetic) return (bits + 1) << 14;
    return progressive ? bits : bits / 2;
}

}  // namespace size_bounds
