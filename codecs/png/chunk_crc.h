// Chunk CRCs over the program's Crc32Table, eight bytes per step: seven more
// tables derived from it let one step fold in eight bytes ("slicing by 8").
// The results equal Crc32Table::update byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace png {

// Continues a running CRC (start with 0xFFFFFFFF, invert at the end).
uint32_t updateCrc(uint32_t crc, const uint8_t* data, size_t size);

// The finished CRC of a chunk's type and data, which lie together in memory.
inline uint32_t chunkCrc(const uint8_t* typeAndData, size_t size) {
    return ~updateCrc(0xFFFFFFFFu, typeAndData, size);
}

}  // namespace png
