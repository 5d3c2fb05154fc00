#include "formats/format_registry.h"

#include "formats/avif_decoder.h"
#include "formats/heif_decoder.h"
#include "formats/webp_decoder.h"

namespace formats {
namespace {

constexpr FormatDecoder kDecoders[] = {
    {"WebP", looksLikeWebp, readWebpSize, decodeWebp},
    {"HEIF", looksLikeHeif, readHeifSize, decodeHeif},
    {"AVIF", looksLikeAvif, readAvifSize, decodeAvif},
};

}  // namespace

const FormatDecoder* findDecoder(const uint8_t* head, size_t size) {
    for (const FormatDecoder& decoder : kDecoders)
        if (decoder.looksLike(head, size)) return &decoder;
    return nullptr;
}

}  // namespace formats
