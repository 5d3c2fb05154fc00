// Feeds arbitrary bytes to the TIFF reader through a real file, the way the
// driver does, and checks the record it leaves behind.
#include <cstdint>
#include <cstdlib>

#include "codecs/tiff/tiff_reader.h"
#include "platform/platform.h"

namespace {

char16_t inputPath[300];

// One temporary file reused for every input of this process.
const char16_t* tempPath() {
    if (inputPath[0] == 0) {
        char16_t folder[280];
        if (platform::tempFolder(folder, 280) == 0 ||
            !platform::createUniqueTempFile(folder, u"tiffin", inputPath, 300))
            std::abort();
        std::atexit([] { platform::deleteFile(inputPath); });
    }
    return inputPath;
}

void checkRecord(const ImageRecord& record) {
    const BitmapInfoHeader& h = record.header;
    if (!record.pixels || h.biWidth < 1 || h.biHeight < 1 || h.biSize != 40 || h.biPlanes != 1 ||
        (h.biBitCount != 8 && h.biBitCount != 24) || h.biXPelsPerMeter < 0 ||
        h.biYPelsPerMeter < 0 || h.biCompression != 0 || h.biClrUsed != 0 ||
        record.sourceFormat != kFormatTiff)
        std::abort();
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
    const char16_t* path = tempPath();
    {
        platform::File file;
        if (!file.create(path) || (size && !file.write(data, size))) std::abort();
    }
    static ImageRecord record;
    static TiffReader reader;  // reused like the driver's context
    ImageRecord* result = reader.read(path, &record);
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
