// WebP: a RIFF file whose extended form (a VP8X chunk first) may carry an
// ICCP chunk (the profile) and an EXIF chunk (a TIFF structure, by some
// writers preceded by "Exif\0\0"). Chunks are padded to an even size.
#include <cstring>

#include "codecs/metadata/metadata_parts.h"
#include "core/byte_order.h"

namespace metadata {
namespace {

constexpr size_t kRiffHeader = 12;  // "RIFF", size, "WEBP"
constexpr size_t kChunkHeader = 8;  // four-character code, size

bool isType(const uint8_t* type, const char* name) {
    return std::memcmp(type, name, 4) == 0;
}

}  // namespace

bool looksLikeWebp(const uint8_t* data, size_t size) {
    return size >= kRiffHeader && isType(data, "RIFF") && isType(data + 8, "WEBP");
}

void scanWebp(const uint8_t* data, size_t size, SourceMetadata& metadata) {
    // The RIFF size counts from byte 8; a file cut short ends earlier.
    const uint64_t declaredEnd = uint64_t{loadU32LE(data + 4)} + 8;
    const size_t end = declaredEnd < size ? static_cast<size_t>(declaredEnd) : size;
    if (end < kRiffHeader + kChunkHeader || !isType(data + kRiffHeader, "VP8X")) return;
    bool iccSeen = false, exifSeen = false;
    size_t at = kRiffHeader;
    while (end - at >= kChunkHeader) {
        const uint8_t* type = data + at;
        const size_t length = loadU32LE(type + 4);
        if (length > end - at - kChunkHeader) break;  // cut short
        const uint8_t* body = type + kChunkHeader;
        if (isType(type, "ICCP") && !iccSeen) {
            iccSeen = true;
            keepIccProfile(metadata, body, length);
        } else if (isType(type, "EXIF") && !exifSeen) {
            exifSeen = true;
            metadata.orientation = exifOrientation(body, length);
        }
        at += kChunkHeader + length + (length & 1);
        if (at > end) break;
    }
}

}  // namespace metadata
