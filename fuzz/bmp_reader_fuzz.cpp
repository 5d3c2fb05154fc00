// Feeds arbitrary bytes to the BMP reader's in-memory entry (the decoding
// behind the driver's path entry), checks the record it leaves behind, and now and then writes
// the decoded picture back through the BMP writer (narrowing 24-bit pictures
// with the colour reducer).
#include <cstdint>
#include <cstdlib>

#include "codecs/bmp/bmp_reader.h"
#include "codecs/bmp/bmp_writer.h"
#include "fuzz/fuzz_support.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FuzzFile outputFile(u"bmpout");
    static ImageRecord record;
    static BmpReader reader;  // reused like the driver's context
    ImageRecord* result = reader.readMemory(data, size, &record);
    if (!result) {
        if (record.pixels || reader.status() == kStatusOk) std::abort();
        return 0;
    }
    if (result != &record || reader.status() != kStatusOk) std::abort();
    checkRecordInvariants(record, kFormatBmp);

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
        if (!writer.write(outputFile.path(), picture)) std::abort();
    }
    releasePixelBuffer(record.pixels);
    record.pixels = nullptr;
    return 0;
}
