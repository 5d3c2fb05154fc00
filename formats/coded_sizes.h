// The largest picture a codec's decoder will be asked to allocate for, read
// from the headers in a HEIF file's items before libheif decodes any of them.
#pragma once

#include <cstdint>

namespace formats {

struct CodedSizes {
    uint32_t largestWidth = 0;
    uint32_t largestHeight = 0;
    int headers = 0;  // size-giving headers found (parameter sets, frame headers)

    void note(uint32_t width, uint32_t height) {
        largestWidth = width > largestWidth ? width : largestWidth;
        largestHeight = height > largestHeight ? height : largestHeight;
        ++headers;
    }
};

}  // namespace formats
