#include "imaging/color_reducer_nearest.h"

#include <algorithm>

namespace reducer {

uint8_t nearestPaletteIndex(const RgbQuad* palette, int entries, uint8_t red, uint8_t green,
                            uint8_t blue) {
    int best = 0;
    int bestDistance = 3 * 255 * 255 + 1;  // beyond any distance: the first entry is taken
    for (int i = 0; i < entries && bestDistance != 0; ++i) {
        const int dr = palette[i].red - red;
        const int dg = palette[i].green - green;
        const int db = palette[i].blue - blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {  // strictly nearer: the lowest index wins ties
            bestDistance = distance;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

NearestColorSearch::NearestColorSearch(const RgbQuad* palette, const int32_t* squares)
    : squares_(squares), candidates_(allocatePageArray<uint8_t>(uint64_t{kCells} * 256)) {
    for (int i = 0; i < 256; ++i) {
        blue_[i] = palette[i].blue;
        green_[i] = palette[i].green;
        red_[i] = palette[i].red;
    }
    std::fill(candidateCount_, candidateCount_ + kCells, kNotBuilt);
}

void NearestColorSearch::buildCell(uint32_t cell) {
    constexpr int32_t kSpan = (1 << kCellShift) - 1;
    const int32_t low[3] = {static_cast<int32_t>(cell & 15) << kCellShift,
                            static_cast<int32_t>(cell >> 4 & 15) << kCellShift,
                            static_cast<int32_t>(cell >> 8) << kCellShift};
    // Per entry: the smallest and largest distance to any colour of the cell.
    int32_t nearest[256];
    int32_t guaranteed = 195075;  // no colour is further from its nearest entry
    for (int i = 0; i < 256; ++i) {
        const int32_t value[3] = {blue_[i], green_[i], red_[i]};
        int32_t smallest = 0, largest = 0;
        for (int c = 0; c < 3; ++c) {
            const int32_t lo = low[c], hi = low[c] + kSpan, v = value[c];
            const int32_t inside = v < lo ? lo - v : v > hi ? v - hi : 0;
            smallest += squares_[inside];
            largest += squares_[std::max(v - lo, hi - v)];  // never negative
        }
        nearest[i] = smallest;
        guaranteed = std::min(guaranteed, largest);
    }
    uint8_t* list = &candidates_[uint64_t{cell} * 256];
    uint16_t count = 0;
    for (int i = 0; i < 256; ++i)
        if (nearest[i] <= guaranteed) list[count++] = static_cast<uint8_t>(i);
    candidateCount_[cell] = count;
}

uint8_t NearestColorSearch::find(uint32_t key) {
    const int32_t blue = static_cast<int32_t>(blueOf(key));
    const int32_t green = static_cast<int32_t>(greenOf(key));
    const int32_t red = static_cast<int32_t>(redOf(key));
    const uint32_t cell = static_cast<uint32_t>(red >> kCellShift) << 8 |
                          static_cast<uint32_t>(green >> kCellShift) << 4 |
                          static_cast<uint32_t>(blue >> kCellShift);
    if (candidateCount_[cell] == kNotBuilt) buildCell(cell);
    const uint8_t* list = &candidates_[uint64_t{cell} * 256];
    // Larger than any distance (3 * 255 * 255), so the first candidate is
    // taken; a later one only when strictly nearer, and candidates are in
    // index order, so the lowest index wins among equal distances.
    int32_t best = 195076;
    uint8_t bestIndex = 0;
    for (uint16_t n = 0, count = candidateCount_[cell]; n < count; ++n) {
        const uint8_t i = list[n];
        const int32_t distance =
            squares_[blue - blue_[i]] + squares_[green - green_[i]] + squares_[red - red_[i]];
        if (distance < best) {
            best = distance;
            bestIndex = i;
        }
    }
    return bestIndex;
}

}  // namespace reducer
