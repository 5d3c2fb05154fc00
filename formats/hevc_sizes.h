// The picture sizes a HEIF file's images will decode to: the sequence
// parameter sets of its HEVC items (in their 'hvcC' boxes and in their data)
// and the output sizes of its grids, beside the sizes its 'ispe' boxes
// declare. libheif allocates for the coded or grid size, not for 'ispe',
// before any picture data is read: a file of a few hundred bytes declaring
// 37 x 23 in 'ispe' could otherwise make a 30975 x 8224 grid.
#pragma once

#include <cstddef>
#include <cstdint>

namespace formats {

struct HevcSizes {
    uint32_t largestCodedWidth = 0;  // over all parameter sets and grids
    uint32_t largestCodedHeight = 0;
    uint32_t largestDeclaredWidth = 0;  // over all 'ispe' boxes
    uint32_t largestDeclaredHeight = 0;
    int parameterSets = 0;
};

// False when the boxes or a parameter set cannot be read.
bool readHevcSizes(const uint8_t* data, size_t size, HevcSizes& out);

}  // namespace formats
