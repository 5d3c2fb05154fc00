#include "codecs/png/chunk_crc.h"

#include <bit>
#include <cstring>

#include "core/crc32.h"

namespace png {
namespace {

struct SlicingTables {
    uint32_t t[8][256];
    SlicingTables() {
        const Crc32Table& base = crc32Table();
        for (int i = 0; i < 256; ++i) t[0][i] = base.entry(i);
        for (int k = 1; k < 8; ++k)
            for (int i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};

const SlicingTables& tables() {
    static const SlicingTables slicing;
    return slicing;
}

}  // namespace

uint32_t updateCrc(uint32_t crc, const uint8_t* data, size_t size) {
    if constexpr (std::endian::native == std::endian::little) {
        const auto& t = tables().t;
        for (; size >= 8; size -= 8, data += 8) {
            uint32_t one, two;
            std::memcpy(&one, data, 4);
            std::memcpy(&two, data + 4, 4);
            one ^= crc;
            crc = t[7][one & 0xFF] ^ t[6][(one >> 8) & 0xFF] ^ t[5][(one >> 16) & 0xFF] ^
                  t[4][one >> 24] ^ t[3][two & 0xFF] ^ t[2][(two >> 8) & 0xFF] ^
                  t[1][(two >> 16) & 0xFF] ^ t[0][two >> 24];
        }
    }
    return crc32Table().update(crc, data, size);
}

}  // namespace png
