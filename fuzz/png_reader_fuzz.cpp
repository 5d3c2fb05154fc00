// Feeds arbitrary bytes to the PNG reader's in-memory entry (the decoding
// behind the driver's path entry) and checks the record and transparent colour it leaves behind.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codecs/png/png_reader.h"
#include "fuzz/fuzz_support.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Pictures claiming more than 16 million pixels would only measure the
    // machine's memory; the refusal of impossible sizes has its own tests.
    if (size >= 24) {
        const uint64_t width = loadU32BE(data + 16);
        const uint64_t height = loadU32BE(data + 20);
        if (width * height > (uint64_t{1} << 24)) return 0;
    }
    static ImageRecord record;
    static PngReader reader;  // reused like the driver's context
    reader.setDefaultBackground(255, 255, 255);
    ImageRecord* result = reader.readMemory(data, size, &record);
    uint8_t red = 0, green = 0, blue = 0;
    const bool transparent = reader.transparentColour(red, green, blue);
    if (!result) {
        if (record.pixels || reader.status() == kStatusOk || transparent) std::abort();
        return 0;
    }
    const BitmapInfoHeader& h = record.header;
    if (!record.pixels || h.biWidth < 1 || h.biHeight < 1 ||
        (h.biBitCount != 8 && h.biBitCount != 24) || h.biXPelsPerMeter < 0 ||
        h.biYPelsPerMeter < 0 || record.sourceFormat != kFormatPng || reader.status() != kStatusOk)
        std::abort();
    // Touch the buffer so that a short allocation shows.
    uint64_t stride = rowStride(h.biWidth, h.biBitCount);
    volatile uint8_t sink = 0;
    for (uint64_t i = 0; i < stride * h.biHeight + 4; i += 4096) sink = sink + record.pixels[i];
    sink = sink + record.pixels[stride * h.biHeight + 3];
    releasePixelBuffer(record.pixels);
    record.pixels = nullptr;
    return 0;
}
