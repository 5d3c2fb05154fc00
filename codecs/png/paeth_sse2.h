// The Paeth predictor on eight bytes at once, widened to 16-bit lanes (SSE2),
// shared by the reader's row reconstruction and the writer's filter choice.
// Without SSE2, MORAVEL_PNG_SSE2 stays undefined and callers use
// paethPredictor() byte by byte.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define MORAVEL_PNG_SSE2 1

namespace png {

inline __m128i absolute16(__m128i x) {
    return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x));
}

inline __m128i select16(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Paeth predictors of left a, above b and upper-left c, with the same tie
// order as paethPredictor(): a, then b, then c.
inline __m128i paeth16(__m128i a, __m128i b, __m128i c) {
    __m128i pa = _mm_sub_epi16(b, c);
    __m128i pb = _mm_sub_epi16(a, c);
    __m128i pc = _mm_add_epi16(pa, pb);
    pa = absolute16(pa);
    pb = absolute16(pb);
    pc = absolute16(pc);
    const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
    return select16(_mm_cmpeq_epi16(pa, smallest), a,
                    select16(_mm_cmpeq_epi16(pb, smallest), b, c));
}

}  // namespace png

#endif
