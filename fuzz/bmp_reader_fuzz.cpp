// Feeds arbitrary bytes to the BMP reader through a real file, the way the
// driver does, checks the record it leaves behind, and now and then writes
// the decoded picture back through the BMP writer (narrowing 24-bit pictures
// with the colour reducer).
#include <cstdint>
#include <cstdlib>

#include "codecs/bmp/bmp_reader.h"
#include "codecs/bmp/bmp_writer.h"
#include "platform/platform.h"

namespace {

// Temporary files reused for every input of this process.
const char16_t* tempPath(char16_t (&path)[300], const char16_t* prefix) {
    if (path[0] == 0) {
        char16_t folder[280];
        if (platform::tempFolder(folder, 280) == 0 ||
            !platform::createUniqueTempFile(folder, prefix, path, 300))
            std::abort();
    }
    return path;
}

void checkRecord(const ImageRecord& record) {
    const BitmapInfoHeader& h = record.header;
    if (!record.pixels || h.biWidth < 1 || h.biHeight < 1 || h.biSize != 40 || h.biPlanes != 1 ||
        (h.biBitCount != 8 && h.biBitCount != 24) || h.biXPelsPerMeter < 0 ||
        h.biYPelsPerMeter < 0 || h.biCompression != 0 || h.biClrUsed != 0 ||
        record.sourceFormat != kFormatBmp)
        std::abort();
    // Touch the buffer, its last row and its slack, so that a short
    // allocation shows.
    const uint64_t size = uint64_t{rowStride(h.biWidth, h.biBitCount)} * h.biHeight;
    volatile uint8_t sink = 0;
    for (uint64_t i = 0; i < size; i += 4096) sink = sink + record.pixels[i];
    sink = sink + record.pixels[size + 3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static char16_t inputBuffer[300], outputBuffer[300];
    const char16_t* input = tempPath(inputBuffer, u"bmpin");
    {
        platform::File file;
        if (!file.create(input) || (size && !file.write(data, size))) std::abort();
    }
    static ImageRecord record;
    static BmpReader reader;  // reused like the driver's context
    ImageRecord* result = reader.read(input, &record);
    if (!result) {
        if (record.pixels || reader.status() == kStatusOk) std::abort();
        return 0;
    }
    if (result != &record || reader.status() != kStatusOk) std::abort();
    checkRecord(record);

    const BitmapInfoHeader& h = record.header;
    if (size % 16 == 0 && uint64_t(h.biWidth) * uint64_t(h.biHeight) <= (1u << 16)) {
        // Reused like the driver's context, and never destroyed: its colour
        // reducer returns memory to the process heap, which static
        // destruction may already have taken down.
        static BmpWriter& writer = *new BmpWriter;
        PictureToWrite picture;
        picture.width = h.biWidth;
        picture.height = h.biHeight;
        picture.currentBitCount = h.biBitCount;
        // Write 24-bit pictures at 8 bits to run the reducer's narrowing.
        picture.loadedBitCount = 8;
        picture.horizontalResolution = h.biXPelsPerMeter;
        picture.verticalResolution = h.biYPelsPerMeter;
        picture.palette = record.palette;
        picture.pixels = record.pixels;
        if (!writer.write(tempPath(outputBuffer, u"bmpout"), picture)) std::abort();
    }
    releasePixelBuffer(record.pixels);
    record.pixels = nullptr;
    return 0;
}
