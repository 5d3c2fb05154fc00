#include "codecs/png/filter_chooser.h"

#include "codecs/png/paeth_sse2.h"
#include "codecs/png/png_filters.h"

namespace png {
namespace {

// A byte near 0 or 255: (v + 4) mod 256 below 8.
inline uint32_t nearEdge(uint8_t v) {
    return static_cast<uint8_t>(v + 4) < 8;
}

// The four candidates of the data bytes from position `from` on, one byte at
// a time; bytes left of the row count as 0.
template <int Bpp>
void buildCandidatesScalar(const uint8_t* __restrict raw, const uint8_t* __restrict above,
                           uint8_t* __restrict sub, uint8_t* __restrict up,
                           uint8_t* __restrict average, uint8_t* __restrict paeth, size_t from,
                           size_t length) {
    for (size_t i = from; i < length; ++i) {
        const int a = i >= Bpp ? raw[i - Bpp] : 0;
        const int b = above[i];
        const int c = i >= Bpp ? above[i - Bpp] : 0;
        sub[i] = static_cast<uint8_t>(raw[i] - a);
        up[i] = static_cast<uint8_t>(raw[i] - b);
        average[i] = static_cast<uint8_t>(raw[i] - ((a + b) >> 1));
        paeth[i] = static_cast<uint8_t>(raw[i] - paethPredictor(a, b, c));
    }
}

#ifdef MORAVEL_PNG_SSE2
// Sixteen bytes per step: every filter reads only raw bytes, so nothing
// depends on the step before.
template <int Bpp>
void buildCandidates(const uint8_t* __restrict raw, const uint8_t* __restrict above,
                     uint8_t* __restrict sub, uint8_t* __restrict up, uint8_t* __restrict average,
                     uint8_t* __restrict paeth, size_t length) {
    const size_t first = length < Bpp ? length : Bpp;
    buildCandidatesScalar<Bpp>(raw, above, sub, up, average, paeth, 0, first);
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    size_t i = first;
    for (; i + 16 <= length; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + i));
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + i - Bpp));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + i));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + i - Bpp));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sub + i), _mm_sub_epi8(x, a));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(up + i), _mm_sub_epi8(x, b));
        // The rounding-up average, less one where the sum is odd: the floor.
        const __m128i mean =
            _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(average + i), _mm_sub_epi8(x, mean));
        const __m128i low = paeth16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                                    _mm_unpacklo_epi8(c, zero));
        const __m128i high = paeth16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                                     _mm_unpackhi_epi8(c, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(paeth + i),
                         _mm_sub_epi8(x, _mm_packus_epi16(low, high)));
    }
    buildCandidatesScalar<Bpp>(raw, above, sub, up, average, paeth, i, length);
}
#else
template <int Bpp>
void buildCandidates(const uint8_t* raw, const uint8_t* above, uint8_t* sub, uint8_t* up,
                     uint8_t* average, uint8_t* paeth, size_t length) {
    buildCandidatesScalar<Bpp>(raw, above, sub, up, average, paeth, 0, length);
}
#endif

}  // namespace

uint32_t filterScore(const uint8_t* row, size_t rowLength) {
    uint32_t score = 0;
    size_t i = 1;
#ifdef MORAVEL_PNG_SSE2
    // Sixteen positions per step: equal to the byte before and, after adding
    // 4 modulo 256, at most 7.
    const __m128i four = _mm_set1_epi8(4);
    const __m128i seven = _mm_set1_epi8(7);
    const __m128i one = _mm_set1_epi8(1);
    __m128i total = _mm_setzero_si128();
    for (; i + 16 <= rowLength; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i - 1));
        const __m128i same = _mm_cmpeq_epi8(v, before);
        const __m128i near =
            _mm_cmpeq_epi8(_mm_subs_epu8(_mm_add_epi8(v, four), seven), _mm_setzero_si128());
        const __m128i hits = _mm_and_si128(_mm_and_si128(same, near), one);
        total = _mm_add_epi64(total, _mm_sad_epu8(hits, _mm_setzero_si128()));
    }
    score = static_cast<uint32_t>(_mm_cvtsi128_si32(total) +
                                  _mm_cvtsi128_si32(_mm_unpackhi_epi64(total, total)));
#endif
    for (; i < rowLength; ++i) score += (row[i] == row[i - 1]) & nearEdge(row[i]);
    return score;
}

int pickFilter(const uint32_t scores[5]) {
    const int first = scores[kFilterUp] > scores[kFilterSub] ? kFilterUp : kFilterSub;
    const int second =
        scores[kFilterPaeth] > scores[kFilterAverage] ? kFilterPaeth : kFilterAverage;
    const int winner = scores[second] > scores[first] ? second : first;
    return scores[winner] > scores[kFilterNone] ? winner : kFilterNone;
}

int chooseFilter(const FilterRows& rows, size_t rowLength, int bytesPerPixel) {
    rows.raw[0] = kFilterNone;
    rows.sub[0] = kFilterSub;
    rows.up[0] = kFilterUp;
    rows.average[0] = kFilterAverage;
    rows.paeth[0] = kFilterPaeth;
    const size_t length = rowLength > 0 ? rowLength - 1 : 0;
    const uint8_t* raw = rows.raw + 1;
    const uint8_t* above = rows.previous + 1;
    if (bytesPerPixel == 3)
        buildCandidates<3>(raw, above, rows.sub + 1, rows.up + 1, rows.average + 1, rows.paeth + 1,
                           length);
    else
        buildCandidates<1>(raw, above, rows.sub + 1, rows.up + 1, rows.average + 1, rows.paeth + 1,
                           length);

    const uint32_t scores[5] = {filterScore(rows.raw, rowLength), filterScore(rows.sub, rowLength),
                                filterScore(rows.up, rowLength),
                                filterScore(rows.average, rowLength),
                                filterScore(rows.paeth, rowLength)};
    return pickFilter(scores);
}

}  // namespace png
