// The checks an embedded ICC profile passes before Little CMS sees it: the
// header and the tag table are read only as far as needed to refuse a
// profile that is too large, cut short, or absurd, without any allocation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace imaging {

// Larger profiles are not colour descriptions a photo needs (a camera's
// matrix-shaper profile is under 4 KiB, a printer's LUT profile under 2 MiB);
// refusing them bounds what the library allocates for tables.
constexpr size_t kMaxIccProfileBytes = size_t{4} << 20;
// The library itself refuses more tags; any real profile has under 30.
constexpr uint32_t kMaxIccTags = 100;

// The source colour spaces a profile can convert from.
enum class IccSpace { rgb, grey, cmyk };

struct IccHeaderCheck {
    bool usable = false;
    IccSpace space = IccSpace::rgb;
};

// Usable when: at most kMaxIccProfileBytes, the declared size is at least a
// header plus a tag count and no more than the bytes given, the 'acsp'
// signature is there, the class converts from a device (input, display,
// output or colour space), the data space is RGB, grey or CMYK, the
// connection space is XYZ or Lab, the tag count is at most kMaxIccTags and
// its table fits, and every tag lies inside the declared size.
IccHeaderCheck checkIccHeader(const uint8_t* icc, size_t size);

}  // namespace imaging
