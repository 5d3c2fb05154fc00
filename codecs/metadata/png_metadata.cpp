// PNG: the iCCP chunk before the image data holds a profile name, a
// compression method (0, zlib) and the zlib-compressed profile. PNG's eXIf
// orientation is not read: viewers disagree on whether to apply it.
#include <zlib.h>

#include <cstring>
#include <new>

#include "codecs/metadata/metadata_parts.h"
#include "core/byte_order.h"

namespace metadata {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kMaxNameBytes = 79;
constexpr size_t kFirstInflateBytes = size_t{64} << 10;

bool isType(const uint8_t* type, const char* name) {
    return std::memcmp(type, name, 4) == 0;
}

// Inflates a zlib stream whole into a buffer that grows by doubling up to
// kMaxIccProfileBytes; a longer or damaged stream gives no profile.
void inflateProfile(const uint8_t* stream, size_t size, SourceMetadata& metadata) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return;
    std::unique_ptr<uint8_t[]> out;
    size_t capacity = 0, produced = 0;
    int result = Z_OK;
    z.next_in = const_cast<Bytef*>(stream);
    z.avail_in = static_cast<uInt>(size);
    while (result == Z_OK) {
        if (produced == capacity) {
            if (capacity == kMaxIccProfileBytes + 1) break;  // over the bound
            const size_t grown =
                capacity == 0
                    ? kFirstInflateBytes
                    : (capacity * 2 > kMaxIccProfileBytes ? kMaxIccProfileBytes + 1 : capacity * 2);
            std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[grown]);
            if (!bigger) break;
            if (produced) std::memcpy(bigger.get(), out.get(), produced);
            out = std::move(bigger);
            capacity = grown;
        }
        z.next_out = out.get() + produced;
        z.avail_out = static_cast<uInt>(capacity - produced);
        result = inflate(&z, Z_NO_FLUSH);
        produced = capacity - z.avail_out;
        if (result == Z_BUF_ERROR && z.avail_out != 0) break;  // the stream is cut short
        if (result == Z_BUF_ERROR) result = Z_OK;
    }
    inflateEnd(&z);
    if (result == Z_STREAM_END) takeIccProfile(metadata, std::move(out), produced);
}

}  // namespace

bool looksLikePng(const uint8_t* data, size_t size) {
    return size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

void scanPng(const uint8_t* data, size_t size, SourceMetadata& metadata) {
    size_t at = sizeof kSignature;
    while (size - at >= 12) {
        const uint32_t length = loadU32BE(data + at);
        const uint8_t* type = data + at + 4;
        if (length > size - at - 12) break;  // cut short
        if (isType(type, "IDAT") || isType(type, "IEND")) break;
        if (isType(type, "iCCP")) {
            // A damaged chunk (its CRC disagrees) is not trusted.
            const uint32_t crc = static_cast<uint32_t>(crc32(0, type, 4 + length));
            if (crc != loadU32BE(type + 4 + length)) return;
            const uint8_t* body = type + 4;
            const void* end =
                std::memchr(body, 0, length < kMaxNameBytes + 1 ? length : kMaxNameBytes + 1);
            if (!end) return;
            const size_t nameBytes = static_cast<const uint8_t*>(end) - body;
            if (nameBytes == 0 || length - nameBytes < 2 || body[nameBytes + 1] != 0) return;
            inflateProfile(body + nameBytes + 2, length - nameBytes - 2, metadata);
            return;  // one profile at most
        }
        at += size_t{length} + 12;
    }
}

}  // namespace metadata
