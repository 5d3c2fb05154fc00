// Feeds arbitrary bytes to the JPEG reader and to the lossless re-write
// through a real file, the way the driver does, and checks what they leave.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "codecs/jpeg/jpeg_copy.h"
#include "codecs/jpeg/jpeg_reader.h"
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

// The largest frame any start-of-frame marker in the data declares (the
// library may find one after garbage, so every candidate counts).
uint64_t largestFrameArea(const uint8_t* data, size_t size) {
    uint64_t largest = 0;
    for (size_t i = 0; i + 9 <= size; ++i) {
        const uint8_t m = data[i + 1];
        if (data[i] != 0xFF || m < 0xC0 || m > 0xCF || m == 0xC4 || m == 0xC8 || m == 0xCC)
            continue;
        const uint64_t height = uint64_t(data[i + 5]) << 8 | data[i + 6];
        const uint64_t width = uint64_t(data[i + 7]) << 8 | data[i + 8];
        largest = std::max(largest, width * height);
    }
    return largest;
}

void checkRecord(const ImageRecord& record) {
    const BitmapInfoHeader& h = record.header;
    if (!record.pixels || h.biWidth < 1 || h.biHeight < 1 ||
        (h.biBitCount != 8 && h.biBitCount != 24) || h.biXPelsPerMeter < 0 ||
        h.biYPelsPerMeter < 0 || record.sourceFormat != kFormatJpeg)
        std::abort();
    // Touch the buffer so that a short allocation shows.
    const uint64_t stride = rowStride(h.biWidth, h.biBitCount);
    volatile uint8_t sink = 0;
    for (uint64_t i = 0; i < stride * h.biHeight + 4; i += 4096) sink = sink + record.pixels[i];
    sink = sink + record.pixels[stride * h.biHeight + 3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static char16_t inputStorage[300];
    static char16_t outputStorage[300];
    const char16_t* input = tempPath(inputStorage, u"jpg");
    const char16_t* output = tempPath(outputStorage, u"out");
    {
        platform::File file;
        if (!file.create(input) || (size && !file.write(data, size))) std::abort();
    }

    // Frames beyond a few million pixels are decoded at 1/8 (as the size
    // hint does for big photos) or skipped, to stay within the fuzzer's memory.
    const uint64_t area = largestFrameArea(data, size);
    if (area > (uint64_t{1} << 28)) return 0;
    JpegReader reader;
    if (area > (uint64_t{1} << 22)) reader.setSizeHint(true, 1, 1);

    static ImageRecord record;
    if (reader.read(input, &record)) {
        checkRecord(record);
        releasePixelBuffer(record.pixels);
        record.pixels = nullptr;
    } else if (record.pixels) {
        std::abort();
    }

    if (area <= (uint64_t{1} << 22)) {
        JpegCopy copy;
        copy.resetOptions();
        if (copy.transcode(input, output)) {
            // What the re-write produced must be readable again.
            JpegReader again;
            if (!again.read(output, &record)) std::abort();
            checkRecord(record);
            releasePixelBuffer(record.pixels);
            record.pixels = nullptr;
        }
    }
    return 0;
}
