// A progress monitor that refuses files with an absurd number of scans: each
// progressive scan makes the library revisit every block of its components,
// so a small hostile file could otherwise keep it busy for minutes. Real
// encoders write a few dozen scans at most, together visiting each block
// about ten times; the monitor counts block visits scan by scan and stops at
// kJpegMaxScanPasses visits per block of the picture (small pictures may
// always spend kJpegMinScanVisits), and at kJpegMaxScans scans in any case.
#pragma once

#include <cstdint>

#include "codecs/jpeg/jpeg_library.h"

inline constexpr int kJpegMaxScans = 1000;
inline constexpr uint64_t kJpegMaxScanPasses = 100;
inline constexpr uint64_t kJpegMinScanVisits = uint64_t{1} << 25;

struct JpegScanLimit {
    jpeg_progress_mgr library;  // first, so the library's pointer is ours too
    int countedScans;           // scans whose blocks are in blockVisits
    uint64_t blockVisits;       // blocks visited by the scans so far
};

// Attaches the monitor to a decompressor whose error manager is a
// JpegErrorManager.
void installJpegScanLimit(j_decompress_ptr cinfo, JpegScanLimit& limit);

// Block visits allowed for a picture of `pictureBlocks` blocks.
inline uint64_t jpegScanVisitBudget(uint64_t pictureBlocks) {
    const uint64_t passes = kJpegMaxScanPasses * pictureBlocks;
    return passes > kJpegMinScanVisits ? passes : kJpegMinScanVisits;
}
