#include "codecs/jpeg/jpeg_destination.h"

#include <cstring>

namespace {

// ---- File destination

void offerFileBuffer(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<JpegFileDestination*>(cinfo->dest);
    destination->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_large)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, kJpegFileBufferBytes));
    destination->library.next_output_byte = destination->buffer;
    destination->library.free_in_buffer = kJpegFileBufferBytes;
}

boolean writeFullFileBuffer(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<JpegFileDestination*>(cinfo->dest);
    if (!destination->file->write(destination->buffer, kJpegFileBufferBytes))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    destination->library.next_output_byte = destination->buffer;
    destination->library.free_in_buffer = kJpegFileBufferBytes;
    return TRUE;
}

void writeFileRest(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<JpegFileDestination*>(cinfo->dest);
    size_t filled = kJpegFileBufferBytes - destination->library.free_in_buffer;
    if (filled > 0 && !destination->file->write(destination->buffer, filled))
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

// ---- Memory destination

void offerMemoryBuffer(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<JpegMemoryDestination*>(cinfo->dest);
    destination->library.next_output_byte = destination->buffer;
    destination->library.free_in_buffer = destination->buffer ? destination->capacity : 0;
    destination->encodedSize = 0;
}

// The whole buffer is full: move it into one twice as large.
boolean growMemoryBuffer(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<JpegMemoryDestination*>(cinfo->dest);
    const size_t used = destination->buffer ? destination->capacity : 0;
    const uint64_t wanted = used < 4096 ? 8192 : static_cast<uint64_t>(used) * 2;
    // Encodings stay below 4 GiB, like every file the program writes.
    if (wanted + 4 > UINT32_MAX) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
    auto* grown = static_cast<uint8_t*>(platform::allocatePages(static_cast<size_t>(wanted) + 4));
    if (!grown) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 11);
    if (used > 0) std::memcpy(grown, destination->buffer, used);
    platform::releasePages(destination->buffer);
    destination->buffer = grown;
    destination->capacity = static_cast<size_t>(wanted);
    destination->library.next_output_byte = grown + used;
    destination->library.free_in_buffer = destination->capacity - used;
    return TRUE;
}

void recordEncodedSize(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<JpegMemoryDestination*>(cinfo->dest);
    destination->encodedSize = destination->capacity - destination->library.free_in_buffer;
}

}  // namespace

void installFileDestination(j_compress_ptr cinfo, JpegFileDestination& destination,
                            platform::File& file) {
    destination.file = &file;
    destination.buffer = nullptr;
    destination.library.init_destination = offerFileBuffer;
    destination.library.empty_output_buffer = writeFullFileBuffer;
    destination.library.term_destination = writeFileRest;
    cinfo->dest = &destination.library;
}

bool allocateMemoryDestination(JpegMemoryDestination& destination, size_t capacity) {
    destination.buffer = static_cast<uint8_t*>(platform::allocatePages(capacity + 4));
    destination.capacity = destination.buffer ? capacity : 0;
    destination.encodedSize = 0;
    return destination.buffer != nullptr;
}

void releaseMemoryDestination(JpegMemoryDestination& destination) {
    platform::releasePages(destination.buffer);
    destination.buffer = nullptr;
    destination.capacity = 0;
    destination.encodedSize = 0;
}

void installMemoryDestination(j_compress_ptr cinfo, JpegMemoryDestination& destination) {
    destination.library.init_destination = offerMemoryBuffer;
    destination.library.empty_output_buffer = growMemoryBuffer;
    destination.library.term_destination = recordEncodedSize;
    cinfo->dest = &destination.library;
}
