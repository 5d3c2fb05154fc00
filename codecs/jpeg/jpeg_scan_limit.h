// A progress monitor that refuses files with an absurd number of scans: each
// progressive scan makes the library revisit the whole picture, so a small
// hostile file could otherwise keep it busy for minutes. Real encoders write
// a few dozen scans at most.
#pragma once

#include "codecs/jpeg/jpeg_library.h"

inline constexpr int kJpegMaxScans = 1000;

struct JpegScanLimit {
    jpeg_progress_mgr library;  // first, so the library's pointer is ours too
};

// Attaches the monitor to a decompressor whose error manager is a
// JpegErrorManager.
void installJpegScanLimit(j_decompress_ptr cinfo, JpegScanLimit& limit);
