#include "codecs/jpeg/jpeg_source.h"

#include <algorithm>

#include "platform/platform.h"

namespace {

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void doNothing(j_decompress_ptr) {}

JpegMappedSource& sourceOf(j_decompress_ptr cinfo) {
    return *reinterpret_cast<JpegMappedSource*>(cinfo->src);
}

// Called when the library has consumed the whole window: everything before
// the window's end is done with. Hands over the next window, or an
// end-of-image marker once every byte of the file has been consumed.
boolean supplyNextWindow(j_decompress_ptr cinfo) {
    JpegMappedSource& source = sourceOf(cinfo);
    if (source.releaseConsumed)
        platform::releaseConsumedPages(source.data + source.released,
                                       source.windowEnd - source.released);
    source.released = source.windowEnd;
    if (source.windowEnd >= source.size) {
        source.library.next_input_byte = kEndOfImage;
        source.library.bytes_in_buffer = sizeof kEndOfImage;
        return TRUE;
    }
    const size_t start = source.windowEnd;
    source.windowEnd = start + std::min(kJpegSourceWindow, source.size - start);
    source.library.next_input_byte = source.data + start;
    source.library.bytes_in_buffer = source.windowEnd - start;
    return TRUE;
}

// Skips at most to the end of the file, across windows; the next read then
// ends the image.
void skipBounded(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    JpegMappedSource& source = sourceOf(cinfo);
    size_t skip = static_cast<unsigned long>(count);
    while (skip > source.library.bytes_in_buffer) {
        if (source.windowEnd >= source.size) {  // the last window, or the marker
            skip = source.library.bytes_in_buffer;
            break;
        }
        skip -= source.library.bytes_in_buffer;
        supplyNextWindow(cinfo);
    }
    source.library.next_input_byte += skip;
    source.library.bytes_in_buffer -= skip;
}

}  // namespace

void installMappedSource(j_decompress_ptr cinfo, JpegMappedSource& source, const uint8_t* data,
                         size_t size, bool ownBytes) {
    source.data = data;
    source.size = size;
    source.windowEnd = std::min(kJpegSourceWindow, size);
    source.released = 0;
    source.releaseConsumed = ownBytes;
    source.library.next_input_byte = data;
    source.library.bytes_in_buffer = source.windowEnd;
    source.library.init_source = doNothing;
    source.library.fill_input_buffer = supplyNextWindow;
    source.library.skip_input_data = skipBounded;
    source.library.resync_to_restart = jpeg_resync_to_restart;
    source.library.term_source = doNothing;
    cinfo->src = &source.library;
}
