// Feeds arbitrary bytes to the in-memory entries of the JPEG reader and the
// lossless re-write (the decoding behind the driver's path entries), and
// checks what they leave; the re-write's output is read back from its file.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "codecs/jpeg/jpeg_copy.h"
#include "codecs/jpeg/jpeg_reader.h"
#include "fuzz/fuzz_support.h"
#include "platform/platform.h"

namespace {

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FuzzFile outputFile(u"out");
    const char16_t* output = outputFile.path();

    // Frames beyond a million pixels are decoded at 1/8 (as the size hint
    // does for big photos); beyond 16 million they are skipped, because a
    // progressive frame keeps every coefficient of the full-size picture
    // (a 704-byte file declaring 16383 x 16383 CMYK takes 2 GiB) whatever
    // the output scale, which is beyond the fuzzer's memory limit.
    const uint64_t area = largestFrameArea(data, size);
    if (area > (uint64_t{1} << 24)) return 0;
    JpegReader reader;
    if (area > (uint64_t{1} << 20)) reader.setSizeHint(true, 1, 1);

    static ImageRecord record;
    const bool sourceDecodes = reader.readMemory(data, size, &record) != nullptr;
    if (sourceDecodes) {
        checkRecordInvariants(record, kFormatJpeg);
        releasePixelBuffer(record.pixels);
        record.pixels = nullptr;
    } else if (record.pixels) {
        std::abort();
    }

    if (area <= (uint64_t{1} << 22)) {
        JpegCopy copy;
        copy.resetOptions();
        if (copy.transcode(data, size, output)) {
            // The re-write decodes whenever its source does. (Coefficients
            // are copied whatever the pixels need, so a source the library
            // cannot turn into pixels, such as fractional sampling, gives
            // a copy it cannot either.)
            JpegReader again;
            if (!again.read(output, &record)) {
                if (sourceDecodes) std::abort();
                return 0;
            }
            checkRecordInvariants(record, kFormatJpeg);
            releasePixelBuffer(record.pixels);
            record.pixels = nullptr;
        }
    }
    return 0;
}
