// The picture sizes the HEVC decoder will allocate for: the sequence
// parameter sets of a HEIF file's 'hvcC' boxes and of its 'hvc1' items'
// data. libheif hands these to libde265, which allocates for the coded size
// before any picture data is read, whatever 'ispe' declares.
#pragma once

#include "formats/coded_sizes.h"
#include "formats/heif_boxes.h"

namespace formats {

// False when a configuration box cannot be read.
bool readHevcSizes(const HeifBoxes& boxes, CodedSizes& out);

}  // namespace formats
