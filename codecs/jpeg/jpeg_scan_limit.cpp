#include "codecs/jpeg/jpeg_scan_limit.h"

#include "codecs/jpeg/jpeg_error.h"

namespace {

void checkScanCount(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* decompressor = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompressor->input_scan_number > kJpegMaxScans)
        failJpegCall(cinfo, "Too many scans in the JPEG file");
}

}  // namespace

void installJpegScanLimit(j_decompress_ptr cinfo, JpegScanLimit& limit) {
    limit.library = {};
    limit.library.progress_monitor = checkScanCount;
    cinfo->progress = &limit.library;
}
