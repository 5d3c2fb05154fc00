// Feeds arbitrary bytes to the metadata scan (Exif orientation and ICC
// profile of JPEG, PNG, TIFF and WebP) and checks what it hands back.
#include <cstdint>
#include <cstdlib>

#include "codecs/metadata/source_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const SourceMetadata found = scanSourceMetadata(data, size);
    if (found.orientation < 1 || found.orientation > 8) std::abort();
    if ((found.iccProfile == nullptr) != (found.iccSize == 0)) std::abort();
    if (found.iccProfile) {
        if (found.iccSize < kMinIccProfileBytes || found.iccSize > kMaxIccProfileBytes)
            std::abort();
        // Every byte of the profile is readable (the sanitizer watches).
        volatile uint8_t sink = 0;
        for (size_t i = 0; i < found.iccSize; ++i) sink = sink + found.iccProfile[i];
    }
    return 0;
}
