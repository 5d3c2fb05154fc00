// Nearest palette entry for a colour by squared distance, lowest index among
// equal distances. Entries are kept sorted by green so that a search can stop
// once the green difference alone exceeds the best distance found; the result
// is the same as a linear search over all 256 entries.
#pragma once

#include <cstdint>

#include "core/image_record.h"

namespace reducer {

class NearestColorSearch {
  public:
    // `squares` points at the entry for difference 0 of a table d -> d*d
    // for d in -255..255.
    NearestColorSearch(const RgbQuad* palette, const int32_t* squares);
    uint8_t find(uint32_t key) const;

  private:
    struct Entry {
        int32_t green, blue, red, index;
    };
    Entry entries_[256];
    uint16_t firstWithGreenAtLeast_[257];  // position in entries_ for each green 0..256
    const int32_t* squares_;
};

}  // namespace reducer
