// Reflected CRC-32 (polynomial 0xEDB88320), as used by PNG chunks.
#pragma once

#include <cstddef>
#include <cstdint>

class Crc32Table {
  public:
    Crc32Table();
    // Continues a running CRC; start with 0xFFFFFFFF and invert at the end.
    uint32_t update(uint32_t crc, const uint8_t* data, size_t size) const;
    // The finished CRC of one buffer.
    uint32_t of(const uint8_t* data, size_t size) const { return ~update(0xFFFFFFFFu, data, size); }
    uint32_t entry(int i) const { return table_[i]; }

  private:
    uint32_t table_[256];
};

// The program's table, built once before anything uses it.
const Crc32Table& crc32Table();
