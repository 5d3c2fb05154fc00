#include "codecs/png/png_filters.h"

namespace png {
namespace {

// Step 1 reconstructs every byte; step 2 only the even positions. The byte
// distance is always even when the step is 2, so a byte's left neighbour has
// the same parity.
template <int Bpp, int Step>
void reconstructNone(uint8_t*, const uint8_t*, size_t) {}

template <int Bpp, int Step>
void reconstructSub(uint8_t* row, const uint8_t* above, size_t length) {
    for (size_t i = Bpp; i < length; i += Step)
        row[i] = static_cast<uint8_t>(row[i] + row[i - Bpp]);
}

template <int Bpp, int Step>
void reconstructUp(uint8_t* __restrict row, const uint8_t* __restrict above, size_t length) {
    if constexpr (Step == 1) {
        for (size_t i = 0; i < length; ++i) row[i] = static_cast<uint8_t>(row[i] + above[i]);
    } else {
        for (size_t i = 0; i < length; i += Step) row[i] = static_cast<uint8_t>(row[i] + above[i]);
    }
}

template <int Bpp, int Step>
void reconstructAverage(uint8_t* __restrict row, const uint8_t* __restrict above, size_t length) {
    size_t first = length < Bpp ? length : Bpp;
    for (size_t i = 0; i < first; i += Step)
        row[i] = static_cast<uint8_t>(row[i] + (above[i] >> 1));
    for (size_t i = Bpp; i < length; i += Step)
        row[i] = static_cast<uint8_t>(row[i] + ((row[i - Bpp] + above[i]) >> 1));
}

template <int Bpp, int Step>
void reconstructPaeth(uint8_t* __restrict row, const uint8_t* __restrict above, size_t length) {
    size_t first = length < Bpp ? length : Bpp;
    // With nothing to the left the predictor is the byte above.
    for (size_t i = 0; i < first; i += Step) row[i] = static_cast<uint8_t>(row[i] + above[i]);
    for (size_t i = Bpp; i < length; i += Step)
        row[i] =
            static_cast<uint8_t>(row[i] + paethPredictor(row[i - Bpp], above[i], above[i - Bpp]));
}

template <int Bpp, int Step>
Reconstructor pick(int filterType) {
    switch (filterType) {
        case kFilterSub:
            return reconstructSub<Bpp, Step>;
        case kFilterUp:
            return reconstructUp<Bpp, Step>;
        case kFilterAverage:
            return reconstructAverage<Bpp, Step>;
        case kFilterPaeth:
            return reconstructPaeth<Bpp, Step>;
        default:
            return reconstructNone<Bpp, Step>;
    }
}

}  // namespace

Reconstructor reconstructorFor(int filterType, int bytesPerPixel, bool highBytesOnly) {
    if (highBytesOnly) {
        switch (bytesPerPixel) {
            case 2:
                return pick<2, 2>(filterType);
            case 4:
                return pick<4, 2>(filterType);
            case 6:
                return pick<6, 2>(filterType);
            case 8:
                return pick<8, 2>(filterType);
            default:
                return nullptr;
        }
    }
    switch (bytesPerPixel) {
        case 1:
            return pick<1, 1>(filterType);
        case 2:
            return pick<2, 1>(filterType);
        case 3:
            return pick<3, 1>(filterType);
        case 4:
            return pick<4, 1>(filterType);
        case 6:
            return pick<6, 1>(filterType);
        case 8:
            return pick<8, 1>(filterType);
        default:
            return nullptr;
    }
}

}  // namespace png
