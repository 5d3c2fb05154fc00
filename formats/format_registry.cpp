#include "formats/format_registry.h"

#include "formats/webp_decoder.h"
#ifdef MORAVEL_HAVE_HEIF
#include "formats/avif_decoder.h"
#include "formats/heif_decoder.h"
#endif

namespace formats {
namespace {

constexpr FormatDecoder kDecoders[] = {
    {"WebP", looksLikeWebp, readWebpSize, decodeWebp},
#ifdef MORAVEL_HAVE_HEIF
    {"HEIF", looksLikeHeif, readHeifSize, decodeHeif},
    {"AVIF", looksLikeAvif, readAvifSize, decodeAvif},
#endif
};

}  // namespace

const FormatDecoder* findDecoder(const uint8_t* head, size_t size) {
    for (const FormatDecoder& decoder : kDecoders)
        if (decoder.looksLike(head, size)) return &decoder;
    return nullptr;
}

}  // namespace formats
