#include "codecs/jpeg/jpeg_memory_bound.h"

#include "codecs/size_bounds.h"

namespace {

uint64_t roundUp(uint64_t value, uint64_t multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

}  // namespace

void limitJpegMemory(j_common_ptr cinfo) {
    cinfo->mem->max_memory_to_use = static_cast<long>(kJpegMemoryLimit);
}

uint64_t jpegCoefficientBytes(const jpeg_decompress_struct& cinfo) {
    // Each component's array is padded to whole MCUs, as the library does.
    uint64_t bytes = 0;
    for (int ci = 0; ci < cinfo.num_components; ++ci) {
        const jpeg_component_info& c = cinfo.comp_info[ci];
        const uint64_t columns = roundUp(c.width_in_blocks, static_cast<uint64_t>(c.h_samp_factor));
        const uint64_t rows = roundUp(c.height_in_blocks, static_cast<uint64_t>(c.v_samp_factor));
        bytes += columns * rows * sizeof(JBLOCK);
    }
    return bytes;
}

const char* jpegPictureRefusal(j_decompress_ptr cinfo, size_t fileSize, bool wholeCoefficients) {
    const bool multiScan = wholeCoefficients || jpeg_has_multiple_scans(cinfo);
    const uint64_t coefficientBytes = multiScan ? jpegCoefficientBytes(*cinfo) : 0;
    if (coefficientBytes >= kJpegMemoryLimit) return "JPEG picture too large";

    // Full-size samples stand for the pixels decoded (and the work), whatever
    // output scale is asked for. Dimensions are at most 65500.
    const uint64_t samples = uint64_t{cinfo->image_width} * cinfo->image_height *
                             static_cast<uint64_t>(cinfo->num_components);
    uint64_t blocks = 0;
    for (int ci = 0; ci < cinfo->num_components; ++ci)
        blocks +=
            uint64_t{cinfo->comp_info[ci].width_in_blocks} * cinfo->comp_info[ci].height_in_blocks;
    const uint64_t describable =
        size_bounds::jpegBlocksAtMost(fileSize, cinfo->progressive_mode, cinfo->arith_code);
    if (!size_bounds::plausible(samples + coefficientBytes, blocks, describable))
        return "JPEG file too short for the picture it declares";
    return nullptr;
}
