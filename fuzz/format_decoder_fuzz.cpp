// The import plug-ins' decoders (what GetPictureInfo and GetPicture of
// webp.sph, heif.sph and avif.sph run) on arbitrary bytes: built once per
// format (FUZZ_FORMAT_HEIF, FUZZ_FORMAT_AVIF or neither). A decode that
// succeeds must have asked for memory exactly once, for the size the headers
// declared, and filled it.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/decoded_picture.h"
#if defined(FUZZ_FORMAT_HEIF)
#include "formats/heif_decoder.h"
#define FUZZ_READ_SIZE formats::readHeifSize
#define FUZZ_DECODE formats::decodeHeif
#define FUZZ_SHOWN_MAY_DIFFER 1
#elif defined(FUZZ_FORMAT_AVIF)
#include "formats/avif_decoder.h"
#define FUZZ_READ_SIZE formats::readAvifSize
#define FUZZ_DECODE formats::decodeAvif
#define FUZZ_SHOWN_MAY_DIFFER 1
#else
#include "formats/webp_decoder.h"
#define FUZZ_READ_SIZE formats::readWebpSize
#define FUZZ_DECODE formats::decodeWebp
#endif

namespace {

class CheckingSink final : public formats::PictureSink {
  public:
    uint8_t* allocate(uint32_t width, uint32_t height, uint32_t stride) override {
        if (++calls != 1 || stride != formats::bgrStride(width) ||
            uint64_t{stride} * height > UINT32_MAX)
            std::abort();
        this->width = width;
        this->height = height;
        rows.assign(size_t{stride} * height, 0);
        return rows.data();
    }
    int calls = 0;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rows;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    formats::PictureSize declared;
    const formats::DecodeStatus sized = FUZZ_READ_SIZE(data, size, declared);
    // Lossless WebP can describe a huge flat picture in a few bytes, a true
    // file that takes its memory; such sizes only slow the search down.
    if (sized == formats::DecodeStatus::ok &&
        uint64_t{declared.width} * declared.height > (1u << 22))
        return 0;
    CheckingSink sink;
    const formats::DecodeStatus status = FUZZ_DECODE(data, size, sink);
    if (status == formats::DecodeStatus::ok) {
        if (sink.calls != 1 || sized != formats::DecodeStatus::ok) std::abort();
            // HEIF's shown size may differ from the declared one by a crop.
#ifndef FUZZ_SHOWN_MAY_DIFFER
        if (sink.width != declared.width || sink.height != declared.height) std::abort();
#endif
        // Every byte was written (reading them all lets the sanitizer see it).
        volatile uint32_t sum = 0;
        for (uint8_t b : sink.rows) sum = sum + b;
    }
    return 0;
}
