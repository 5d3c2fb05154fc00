// Nearest palette entry for a colour by squared distance, lowest index among
// equal distances, with the same result as a linear search over all 256
// entries. The colour cube is divided into 16 x 16 x 16 cells; the first
// lookup in a cell lists, in index order, the only entries that can be
// nearest to some colour of the cell (those whose smallest possible distance
// does not exceed the best guaranteed distance), and every lookup in that
// cell then searches only that list.
#pragma once

#include <cstdint>

#include "core/image_record.h"
#include "imaging/color_reducer_colors.h"

namespace reducer {

// The plain search with the same rule: the lowest index among the first
// `entries` palette entries at the smallest squared distance from the colour
// (so an exact match is always taken). 0 when there are no entries. For one
// colour at a time, such as a transparent colour given to a writer.
uint8_t nearestPaletteIndex(const RgbQuad* palette, int entries, uint8_t red, uint8_t green,
                            uint8_t blue);

class NearestColorSearch {
  public:
    // `squares` points at the entry for difference 0 of a table d -> d*d
    // for d in -255..255.
    NearestColorSearch(const RgbQuad* palette, const int32_t* squares);
    // False when the candidate lists could not be allocated.
    bool valid() const { return candidates_ != nullptr; }
    uint8_t find(uint32_t key);

  private:
    static constexpr int kCellShift = 4;  // 16 values per channel in a cell
    static constexpr int kCells = 1 << (3 * (8 - kCellShift));
    static constexpr uint16_t kNotBuilt = 0xFFFF;

    void buildCell(uint32_t cell);

    uint8_t blue_[256], green_[256], red_[256];
    const int32_t* squares_;
    PageArray<uint8_t> candidates_;  // 256 per cell
    uint16_t candidateCount_[kCells];
};

}  // namespace reducer
