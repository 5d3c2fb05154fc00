// Feeds arbitrary blocks to the conversion of a plug-in's packed bitmap (the
// info block and the bits block a plug-in hands over) and checks the record
// it leaves behind. The first two bytes give the info block's length.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "plugins/plugin_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t infoSize = (data[0] | (data[1] << 8)) % (size - 1);
    // Copies, so that reading past either block shows.
    uint8_t* info = static_cast<uint8_t*>(std::malloc(infoSize ? infoSize : 1));
    const size_t bitsSize = size - 2 - infoSize;
    uint8_t* bits = static_cast<uint8_t*>(std::malloc(bitsSize ? bitsSize : 1));
    std::memcpy(info, data + 2, infoSize);
    std::memcpy(bits, data + 2 + infoSize, bitsSize);

    static ImageRecord record;
    record.pixels = nullptr;
    bool damaged = false;
    if (importPluginBitmap(info, infoSize, bits, bitsSize, record, damaged)) {
        // The plug-in's own header fields (resolution, colour count) are kept;
        // the buffer's geometry must hold.
        const BitmapInfoHeader& h = record.header;
        if (h.biSize != 40 || h.biWidth < 1 || h.biHeight < 1 || h.biCompression != 0 ||
            (h.biBitCount != 8 && h.biBitCount != 24))
            std::abort();
        const uint64_t size = uint64_t{rowStride(h.biWidth, h.biBitCount)} * uint64_t(h.biHeight);
        volatile uint8_t sink = record.pixels[size + 3];
        (void)sink;
        uint16_t sourceBits = 0;
        std::memcpy(&sourceBits, info + 14, 2);
        // Only 8- and 24-bit rows are taken from a short block.
        if (damaged != (sourceBits >= 8 && size > bitsSize)) std::abort();
        // Indices never point past the colours a 1- or 4-bit source can name.
        if (sourceBits < 8) {
            const uint32_t stride = rowStride(record.header.biWidth, 8);
            for (int32_t y = 0; y < record.header.biHeight; ++y)
                for (int32_t x = 0; x < record.header.biWidth; ++x)
                    if (record.pixels[y * stride + x] >> sourceBits) std::abort();
        }
        releasePixelBuffer(record.pixels);
    } else if (record.pixels) {
        std::abort();
    }
    std::free(info);
    std::free(bits);
    return 0;
}
