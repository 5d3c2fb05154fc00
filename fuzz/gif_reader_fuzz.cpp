// Feeds arbitrary bytes to the GIF reader through a real file, the way the
// driver does, and checks the record and results it leaves behind.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codecs/gif/gif_reader.h"
#include "platform/platform.h"

namespace {

// One temporary file reused for every input of this process.
const char16_t* inputPath() {
    static char16_t path[300] = {};
    if (path[0] == 0) {
        char16_t folder[280];
        if (platform::tempFolder(folder, 280) == 0 ||
            !platform::createUniqueTempFile(folder, u"gif", path, 300))
            std::abort();
    }
    return path;
}

// Screens above this many pixels are legal but only cost memory here: their
// whole canvas is filled with the background index.
constexpr uint64_t kMaxScreenPixels = uint64_t{1} << 24;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 10 &&
        uint64_t(data[6] | data[7] << 8) * uint64_t(data[8] | data[9] << 8) > kMaxScreenPixels)
        return 0;
    const char16_t* path = inputPath();
    {
        platform::File file;
        if (!file.create(path) || (size && !file.write(data, size))) std::abort();
    }
    static ImageRecord record;
    GifReader reader;
    // Alternate the options so both flattening paths run.
    const bool flatten = size % 2 == 0;
    reader.setFlattenTransparency(flatten);
    reader.setUseFileBackground(size % 3 != 0);
    ImageRecord* result = reader.read(path, &record);
    if (!result) {
        if (record.pixels || reader.status() == 50000 || reader.declaresTransparency())
            std::abort();
        return 0;
    }
    const BitmapInfoHeader& h = record.header;
    if (!record.pixels || h.biWidth < 1 || h.biHeight < 1 || h.biBitCount != 8 ||
        record.sourceFormat != 5 || record.sourceBitsPerPixel > 8)
        std::abort();
    if (reader.declaresTransparency()) {
        const RgbQuad& entry = record.palette[reader.transparentIndex()];
        const uint8_t* rgb = reader.transparentColor();
        if (entry.red != rgb[0] || entry.green != rgb[1] || entry.blue != rgb[2]) std::abort();
    }
    // Touch every page of the buffer and its last byte so that a short
    // allocation shows.
    const uint64_t stride = rowStride(h.biWidth, 8);
    volatile uint8_t sink = 0;
    for (uint64_t i = 0; i < stride * h.biHeight + 4; i += 4096) sink = sink + record.pixels[i];
    sink = sink + record.pixels[stride * h.biHeight + 3];
    releasePixelBuffer(record.pixels);
    record.pixels = nullptr;
    return 0;
}
