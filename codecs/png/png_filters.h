// Reconstruction of the five PNG row filters for the reader. Rows are
// reconstructed in place; for 16-bit samples only the most significant byte
// of each sample is needed, and the filters work on each byte position on its
// own, so those bytes come out exact while the others are left filtered.
#pragma once

#include <cstddef>
#include <cstdint>

namespace png {

enum FilterType : int {
    kFilterNone = 0,
    kFilterSub = 1,
    kFilterUp = 2,
    kFilterAverage = 3,
    kFilterPaeth = 4
};

// Reconstructs `length` filtered bytes of `row` in place. `above` is the
// reconstructed row above (zeros for the first row of an image or pass).
using Reconstructor = void (*)(uint8_t* row, const uint8_t* above, size_t length);

// The reconstruction for a filter type (types above 4 count as None), a byte
// distance of 1, 2, 3, 4, 6 or 8, and whether only the even byte positions
// (the high bytes of 16-bit samples) are needed. Null for other distances.
Reconstructor reconstructorFor(int filterType, int bytesPerPixel, bool highBytesOnly);

// The Paeth predictor of left a, above b and upper-left c.
inline uint8_t paethPredictor(int a, int b, int c) {
    int pa = b - c;
    int pb = a - c;
    int pc = pa + pb;
    pa = pa < 0 ? -pa : pa;
    pb = pb < 0 ? -pb : pb;
    pc = pc < 0 ? -pc : pc;
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

}  // namespace png
