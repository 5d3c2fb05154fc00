#include "codecs/png/png_filters.h"

#include <cstring>

#include "codecs/png/paeth_sse2.h"

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

#ifdef MORAVEL_PNG_SSE2
// Paeth for 3- and 4-byte pixels, one pixel per step in 16-bit lanes. Each
// pixel depends on the one to its left, so the gain comes from handling its
// bytes together and choosing the predictor without branches.
// Loads 3 or 4 bytes into the low 16-bit lanes. Built from whole loads: a
// 3-byte copy through memory would stall on store forwarding.
inline __m128i loadPixel(const uint8_t* p, int bytes) {
    uint32_t v;
    if (bytes == 4) {
        std::memcpy(&v, p, 4);
    } else {
        uint16_t low;
        std::memcpy(&low, p, 2);
        v = low | static_cast<uint32_t>(p[2]) << 16;
    }
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(v)), _mm_setzero_si128());
}

inline void storePixel(uint8_t* p, __m128i v, int bytes) {
    const uint32_t packed = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
    if (bytes == 4) {
        std::memcpy(p, &packed, 4);
    } else {
        const uint16_t low = static_cast<uint16_t>(packed);
        std::memcpy(p, &low, 2);
        p[2] = static_cast<uint8_t>(packed >> 16);
    }
}

template <int Bpp>
inline void paethPixel(uint8_t* row, const uint8_t* above, __m128i& a, __m128i& c, bool wideLoad) {
    // A wide load of a 3-byte pixel takes one byte of the next pixel along; its
    // lane is computed but never stored.
    const int loadBytes = wideLoad ? 4 : Bpp;
    const __m128i b = loadPixel(above, loadBytes);
    const __m128i x = loadPixel(row, loadBytes);
    const __m128i predictor = paeth16(a, b, c);
    // Byte-wise addition wraps modulo 256 and keeps the high bytes zero.
    a = _mm_add_epi8(x, predictor);
    storePixel(row, a, Bpp);
    c = b;
}

template <int Bpp>
void reconstructPaethSse2(uint8_t* __restrict row, const uint8_t* __restrict above, size_t length) {
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 4 <= length; i += Bpp) paethPixel<Bpp>(row + i, above + i, a, c, true);
    for (; i + Bpp <= length; i += Bpp) paethPixel<Bpp>(row + i, above + i, a, c, false);
    // A partial pixel at the end (never in a well-formed row).
    for (; i < length; ++i) {
        const int left = i >= Bpp ? row[i - Bpp] : 0;
        const int upperLeft = i >= Bpp ? above[i - Bpp] : 0;
        row[i] = static_cast<uint8_t>(row[i] + paethPredictor(left, above[i], upperLeft));
    }
}
#endif

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
#ifdef MORAVEL_PNG_SSE2
            if constexpr (Step == 1 && (Bpp == 3 || Bpp == 4)) return reconstructPaethSse2<Bpp>;
#endif
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
