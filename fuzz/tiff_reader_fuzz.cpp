// Feeds arbitrary bytes to the TIFF reader's in-memory entry (the decoding
// behind the driver's path entry) and checks the record it leaves behind.
#include <cstdint>
#include <cstdlib>

#include "codecs/tiff/tiff_reader.h"
#include "fuzz/fuzz_support.h"
#include "platform/platform.h"

namespace {

void checkRecord(const ImageRecord& record) {
    checkRecordInvariants(record, kFormatTiff);
    const BitmapInfoHeader& h = record.header;
    const uint64_t stride = rowStride(h.biWidth, h.biBitCount);
    const uint64_t size = stride * h.biHeight;
    if (h.biBitCount == 8) {
        // Every index names an entry the source defined; padding stays zero.
        const uint32_t entries = 1u << record.sourceBitsPerPixel;
        for (uint64_t y = 0; y < uint64_t(h.biHeight); ++y)
            for (uint64_t x = 0; x < stride; ++x) {
                uint8_t v = record.pixels[y * stride + x];
                if (x < uint64_t(h.biWidth) ? v >= entries : v != 0) std::abort();
            }
    }
    // Touch the buffer and its slack, so that a short allocation shows.
    volatile uint8_t sink = 0;
    for (uint64_t i = 0; i < size; i += 4096) sink = sink + record.pixels[i];
    sink = sink + record.pixels[size + 3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ImageRecord record;
    static TiffReader reader;  // reused like the driver's context
    ImageRecord* result = reader.readMemory(data, size, &record);
    if (!result) {
        if (record.pixels || reader.status() == kStatusOk) std::abort();
        return 0;
    }
    if (result != &record || reader.status() != kStatusOk) std::abort();
    checkRecord(record);
    releasePixelBuffer(record.pixels);
    record.pixels = nullptr;
    return 0;
}
