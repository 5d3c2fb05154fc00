// The frame sizes the AV1 decoder will allocate for. libheif hands dav1d an
// 'av01' item's configuration OBUs (from its 'av1C' property) followed by
// the item's data, and dav1d allocates each frame at the size its frame
// header gives: the sequence header's maximum, or, when the frame overrides
// it, any size the width and height fields can hold (dav1d does not hold it
// to the maximum). So the frame headers are read as well.
#pragma once

#include "formats/coded_sizes.h"
#include "formats/heif_boxes.h"

namespace formats {

// False when a configuration box or its OBUs cannot be read, or an item
// gives the decoder nothing at all.
bool readAv1Sizes(const HeifBoxes& boxes, CodedSizes& out);

}  // namespace formats
