// What a HEIF file's boxes say about the pictures libheif will allocate,
// read before the library sees the file: the coded items with their data
// joined as the library hands it to the decoder, the codec configuration
// each item uses, the output sizes of grids and overlays, and the sizes the
// 'ispe' properties declare. The codec-specific readers (hevc_sizes.h,
// av1_sizes.h) take the coded sizes out of these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace formats {

struct ByteSpan {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

struct HeifCodedItem {
    uint32_t id = 0;
    char type[4] = {};          // "hvc1", "av01"
    ByteSpan config;            // body of its first 'hvcC' or 'av1C' property, if any
    std::vector<uint8_t> data;  // its extents joined, cut at the end of the file
};

struct HeifBoxes {
    std::vector<HeifCodedItem> codedItems;
    std::vector<ByteSpan> hvccConfigs;  // every 'hvcC' property, associated or not
    uint32_t largestDerivedWidth = 0;   // over all grids and overlays
    uint32_t largestDerivedHeight = 0;
    uint32_t largestDeclaredWidth = 0;  // over all 'ispe' properties
    uint32_t largestDeclaredHeight = 0;
};

// False when the boxes cannot be read, or the items' data together is much
// larger than the file (items sharing bytes over and over).
bool readHeifBoxes(const uint8_t* data, size_t size, HeifBoxes& out);

}  // namespace formats
