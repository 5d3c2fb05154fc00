#include "codecs/jpeg/jpeg_source.h"

namespace {

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void doNothing(j_decompress_ptr) {}

// Called only when every byte of the file has been consumed.
boolean supplyEndOfImage(j_decompress_ptr cinfo) {
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
}

// Skips at most to the end of what is left; the next read then ends the image.
void skipBounded(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* source = cinfo->src;
    size_t skip = static_cast<unsigned long>(count);
    if (skip > source->bytes_in_buffer) skip = source->bytes_in_buffer;
    source->next_input_byte += skip;
    source->bytes_in_buffer -= skip;
}

}  // namespace

void installMappedSource(j_decompress_ptr cinfo, JpegMappedSource& source, const uint8_t* data,
                         size_t size) {
    source.library.next_input_byte = data;
    source.library.bytes_in_buffer = size;
    source.library.init_source = doNothing;
    source.library.fill_input_buffer = supplyEndOfImage;
    source.library.skip_input_data = skipBounded;
    source.library.resync_to_restart = jpeg_resync_to_restart;
    source.library.term_source = doNothing;
    cinfo->src = &source.library;
}
