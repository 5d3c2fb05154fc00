// JPEG: the segments between the start-of-image marker and the first scan.
// The orientation comes from the first APP1 "Exif\0\0" segment, the profile
// from the APP2 "ICC_PROFILE\0" segments, each carrying its sequence number
// (1-based) and the number of chunks the profile was cut into.
#include <cstring>
#include <new>

#include "codecs/metadata/metadata_parts.h"
#include "core/byte_order.h"

namespace metadata {
namespace {

constexpr uint8_t kMarkerApp1 = 0xE1;
constexpr uint8_t kMarkerApp2 = 0xE2;
constexpr uint8_t kMarkerStartOfScan = 0xDA;
constexpr uint8_t kMarkerEndOfImage = 0xD9;
constexpr uint8_t kExifIdentifier[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint8_t kIccIdentifier[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
// Identifier, sequence number, chunk count.
constexpr size_t kIccChunkHeader = sizeof kIccIdentifier + 2;

bool startsWith(const uint8_t* body, size_t size, const uint8_t* prefix, size_t prefixSize) {
    return size >= prefixSize && std::memcmp(body, prefix, prefixSize) == 0;
}

// The chunks of a profile, by sequence number. Chunks that disagree on the
// count, repeat a number, or number beyond the count leave no profile.
class IccChunks {
  public:
    void add(const uint8_t* body, size_t size) {
        const uint8_t sequence = body[sizeof kIccIdentifier];
        const uint8_t count = body[sizeof kIccIdentifier + 1];
        if (count_ == 0) count_ = count;
        if (count == 0 || count != count_ || sequence == 0 || sequence > count ||
            chunks_[sequence].data) {
            inconsistent_ = true;
            return;
        }
        chunks_[sequence] = {body + kIccChunkHeader, size - kIccChunkHeader};
        ++received_;
    }

    void join(SourceMetadata& metadata) const {
        if (inconsistent_ || count_ == 0 || received_ != count_) return;
        size_t total = 0;
        for (unsigned i = 1; i <= count_; ++i) total += chunks_[i].size;  // at most 255 * 64 KiB
        if (total < kMinIccProfileBytes || total > kMaxIccProfileBytes) return;
        std::unique_ptr<uint8_t[]> joined(new (std::nothrow) uint8_t[total]);
        if (!joined) return;
        size_t at = 0;
        for (unsigned i = 1; i <= count_; ++i) {
            std::memcpy(joined.get() + at, chunks_[i].data, chunks_[i].size);
            at += chunks_[i].size;
        }
        takeIccProfile(metadata, std::move(joined), total);
    }

  private:
    struct Chunk {
        const uint8_t* data = nullptr;
        size_t size = 0;
    };
    Chunk chunks_[256];
    unsigned count_ = 0;
    unsigned received_ = 0;
    bool inconsistent_ = false;
};

}  // namespace

bool looksLikeJpeg(const uint8_t* data, size_t size) {
    return size >= 4 && data[0] == 0xFF && data[1] == 0xD8;
}

void scanJpeg(const uint8_t* data, size_t size, SourceMetadata& metadata) {
    IccChunks icc;
    bool exifSeen = false;
    size_t at = 2;
    // Every segment moves on by at least two bytes, so the walk ends; it
    // stops at the first scan, at the end of the image, or at anything that
    // is not a marker (what was found before it still counts).
    while (at < size && data[at] == 0xFF) {
        while (at < size && data[at] == 0xFF) ++at;  // fill bytes
        if (at >= size) break;
        const uint8_t marker = data[at++];
        if (marker == kMarkerStartOfScan || marker == kMarkerEndOfImage || marker == 0xD8) break;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;  // no length
        if (size - at < 2) break;
        const size_t length = loadU16BE(data + at);
        if (length < 2 || length > size - at) break;
        const uint8_t* body = data + at + 2;
        const size_t bodySize = length - 2;
        if (marker == kMarkerApp1 && !exifSeen &&
            startsWith(body, bodySize, kExifIdentifier, sizeof kExifIdentifier)) {
            exifSeen = true;
            metadata.orientation = exifOrientation(body, bodySize);
        } else if (marker == kMarkerApp2 &&
                   startsWith(body, bodySize, kIccIdentifier, sizeof kIccIdentifier) &&
                   bodySize >= kIccChunkHeader) {
            icc.add(body, bodySize);
        }
        at += length;
    }
    icc.join(metadata);
}

}  // namespace metadata
