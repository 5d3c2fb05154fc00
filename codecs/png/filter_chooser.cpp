#include "codecs/png/filter_chooser.h"

#include "codecs/png/png_filters.h"

namespace png {
namespace {

// A byte near 0 or 255: (v + 4) mod 256 below 8.
inline uint32_t nearEdge(uint8_t v) {
    return static_cast<uint8_t>(v + 4) < 8;
}

// The four candidates of the data bytes; bytes left of the row count as 0.
template <int Bpp>
void buildCandidates(const uint8_t* __restrict raw, const uint8_t* __restrict above,
                     uint8_t* __restrict sub, uint8_t* __restrict up, uint8_t* __restrict average,
                     uint8_t* __restrict paeth, size_t length) {
    const size_t first = length < Bpp ? length : Bpp;
    for (size_t i = 0; i < first; ++i) {
        sub[i] = raw[i];
        up[i] = static_cast<uint8_t>(raw[i] - above[i]);
        average[i] = static_cast<uint8_t>(raw[i] - (above[i] >> 1));
        paeth[i] = static_cast<uint8_t>(raw[i] - above[i]);
    }
    for (size_t i = first; i < length; ++i) up[i] = static_cast<uint8_t>(raw[i] - above[i]);
    for (size_t i = first; i < length; ++i) sub[i] = static_cast<uint8_t>(raw[i] - raw[i - Bpp]);
    for (size_t i = first; i < length; ++i)
        average[i] = static_cast<uint8_t>(raw[i] - ((raw[i - Bpp] + above[i]) >> 1));
    for (size_t i = first; i < length; ++i) {
        // Branch-free Paeth predictor (the same choice as paethPredictor).
        const int a = raw[i - Bpp], b = above[i], c = above[i - Bpp];
        int pa = b - c, pb = a - c;
        int pc = pa + pb;
        pa = pa < 0 ? -pa : pa;
        pb = pb < 0 ? -pb : pb;
        pc = pc < 0 ? -pc : pc;
        const int predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        paeth[i] = static_cast<uint8_t>(raw[i] - predictor);
    }
}

}  // namespace

uint32_t filterScore(const uint8_t* row, size_t rowLength) {
    uint32_t score = 0;
    for (size_t i = 1; i < rowLength; ++i) score += (row[i] == row[i - 1]) & nearEdge(row[i]);
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
