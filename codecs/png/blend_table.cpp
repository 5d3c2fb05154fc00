#include "codecs/png/blend_table.h"

namespace png {

bool BlendTable::build() {
    if (!table_.allocate(256 * 256)) return false;
    uint8_t* t = table_.data();
    // Row and column 0 stay zero; 255 is the identity; the rest is symmetric,
    // computed from the smaller of the two values as the scale.
    for (uint32_t a = 1; a < 256; ++a) {
        for (uint32_t v = a; v < 256; ++v) {
            uint32_t value;
            if (a == 255)
                value = v;
            else if (v == 255)
                value = a;
            else
                value = (v * ((a * 65536u) / 255u) + 32768u) >> 16;
            t[a << 8 | v] = static_cast<uint8_t>(value);
            t[v << 8 | a] = static_cast<uint8_t>(value);
        }
    }
    return true;
}

}  // namespace png
