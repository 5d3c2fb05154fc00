#include "codecs/jpeg/jpeg_scan_limit.h"

#include "codecs/jpeg/jpeg_error.h"

namespace {

uint64_t blocksOf(const jpeg_component_info& component) {
    return uint64_t{component.width_in_blocks} * component.height_in_blocks;
}

void checkScanCount(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* decompressor = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompressor->input_scan_number > kJpegMaxScans)
        failJpegCall(cinfo, "Too many scans in the JPEG file");

    // The monitor runs at least once per scan; a scan seen for the first time
    // adds the blocks of its components.
    auto* limit = reinterpret_cast<JpegScanLimit*>(decompressor->progress);
    const int scan = decompressor->input_scan_number;
    if (scan <= limit->countedScans) return;
    uint64_t scanBlocks = 0;
    for (int i = 0; i < decompressor->comps_in_scan; ++i)
        scanBlocks += blocksOf(*decompressor->cur_comp_info[i]);
    limit->blockVisits += scanBlocks * static_cast<uint64_t>(scan - limit->countedScans);
    limit->countedScans = scan;

    uint64_t pictureBlocks = 0;
    for (int ci = 0; ci < decompressor->num_components; ++ci)
        pictureBlocks += blocksOf(decompressor->comp_info[ci]);
    if (limit->blockVisits > jpegScanVisitBudget(pictureBlocks))
        failJpegCall(cinfo, "Too many scans in the JPEG file");
}

}  // namespace

void installJpegScanLimit(j_decompress_ptr cinfo, JpegScanLimit& limit) {
    limit.library = {};
    limit.library.progress_monitor = checkScanCount;
    limit.countedScans = 0;
    limit.blockVisits = 0;
    cinfo->progress = &limit.library;
}
