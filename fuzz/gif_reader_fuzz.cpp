// Feeds arbitrary bytes to the GIF reader's in-memory entry (the decoding
// behind the driver's path entry) and checks the record and results it leaves behind.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codecs/gif/gif_reader.h"
#include "fuzz/fuzz_support.h"
#include "platform/platform.h"

namespace {

// Screens above this many pixels are legal but only cost memory here: their
// whole canvas is filled with the background index.
constexpr uint64_t kMaxScreenPixels = uint64_t{1} << 24;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 10 &&
        uint64_t(data[6] | data[7] << 8) * uint64_t(data[8] | data[9] << 8) > kMaxScreenPixels)
        return 0;
    static ImageRecord record;
    GifReader reader;
    // Alternate the options so both flattening paths run.
    const bool flatten = size % 2 == 0;
    reader.setFlattenTransparency(flatten);
    reader.setUseFileBackground(size % 3 != 0);
    ImageRecord* result = reader.readMemory(data, size, &record);
    if (!result) {
        if (record.pixels || reader.status() == 50000 || reader.declaresTransparency())
            std::abort();
        return 0;
    }
    checkRecordInvariants(record, kFormatGif);
    if (record.header.biBitCount != 8 || record.sourceBitsPerPixel > 8) std::abort();
    if (reader.declaresTransparency()) {
        const RgbQuad& entry = record.palette[reader.transparentIndex()];
        const uint8_t* rgb = reader.transparentColor();
        if (entry.red != rgb[0] || entry.green != rgb[1] || entry.blue != rgb[2]) std::abort();
    }
    releasePixelBuffer(record.pixels);
    record.pixels = nullptr;
    return 0;
}
