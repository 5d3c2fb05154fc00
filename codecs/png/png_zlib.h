// zlib glue shared by the PNG reader and writer: allocation on the private
// heap, and the chunk helpers both sides use.
#pragma once

#include <zlib.h>

#include <cstdint>

namespace png {

inline constexpr uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// A chunk type as the big-endian number of its four ASCII letters.
constexpr uint32_t chunkType(const char (&name)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[3]));
}

inline constexpr uint32_t kChunkIHDR = chunkType("IHDR");
inline constexpr uint32_t kChunkPLTE = chunkType("PLTE");
inline constexpr uint32_t kChunkIDAT = chunkType("IDAT");
inline constexpr uint32_t kChunkIEND = chunkType("IEND");
inline constexpr uint32_t kChunkTRNS = chunkType("tRNS");
inline constexpr uint32_t kChunkBKGD = chunkType("bKGD");
inline constexpr uint32_t kChunkPHYS = chunkType("pHYs");

// Points a zlib stream's allocation callbacks at the private heap
// (zero-filled blocks, freed individually).
void useHeapAllocator(z_stream& stream);

}  // namespace png
