#include "core/crc32.h"

Crc32Table::Crc32Table() {
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table_[i] = c;
    }
}

uint32_t Crc32Table::update(uint32_t crc, const uint8_t* data, size_t size) const {
    for (size_t i = 0; i < size; ++i) crc = table_[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

const Crc32Table& crc32Table() {
    static const Crc32Table table;
    return table;
}
