// The first image file directory of a TIFF structure: 12-byte entries of
// tag, type, count and a value or offset, in the structure's byte order.
// Only the two tags the metadata scan wants are looked at; anything about
// the directory that a sound writer never produces makes both count as absent.
#include <cstring>

#include "codecs/metadata/metadata_parts.h"
#include "core/byte_order.h"

namespace metadata {
namespace {

constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTagIccProfile = 34675;
constexpr uint16_t kTypeByte = 1;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeUndefined = 7;
constexpr size_t kHeaderBytes = 8;
constexpr size_t kEntryBytes = 12;

struct ByteOrder {
    bool little;
    uint16_t u16(const uint8_t* p) const { return little ? loadU16LE(p) : loadU16BE(p); }
    uint32_t u32(const uint8_t* p) const { return little ? loadU32LE(p) : loadU32BE(p); }
};

}  // namespace

TiffFirstDirectory readTiffFirstDirectory(const uint8_t* tiff, size_t size) {
    const TiffFirstDirectory none;
    if (!tiff || size < kHeaderBytes) return none;
    ByteOrder order{};
    if (tiff[0] == 'I' && tiff[1] == 'I')
        order.little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        order.little = false;
    else
        return none;
    if (order.u16(tiff + 2) != 42) return none;
    // The directory lies after the header, with its entry count and every
    // entry inside the block.
    const uint64_t start = order.u32(tiff + 4);
    if (start < kHeaderBytes || start + 2 > size) return none;
    const uint16_t count = order.u16(tiff + start);
    const uint64_t entriesEnd = start + 2 + uint64_t{count} * kEntryBytes;
    if (entriesEnd > size) return none;
    // A next-directory offset back into this directory (or the header) is
    // a loop: the block was not written by anything that knew its layout.
    if (entriesEnd + 4 <= size) {
        const uint32_t next = order.u32(tiff + entriesEnd);
        if (next != 0 && (next < kHeaderBytes || (next >= start && next < entriesEnd + 4)))
            return none;
    }

    TiffFirstDirectory found;
    bool orientationSeen = false, orientationBad = false;
    bool iccSeen = false, iccBad = false;
    for (uint64_t at = start + 2; at < entriesEnd; at += kEntryBytes) {
        const uint8_t* entry = tiff + at;
        const uint16_t tag = order.u16(entry);
        const uint16_t type = order.u16(entry + 2);
        const uint32_t values = order.u32(entry + 4);
        if (tag == kTagOrientation) {
            // One SHORT from 1 to 8; a second entry contradicts the first.
            const uint16_t value = order.u16(entry + 8);
            orientationBad |=
                orientationSeen || type != kTypeShort || values != 1 || value < 1 || value > 8;
            orientationSeen = true;
            found.orientation = static_cast<uint8_t>(value);
        } else if (tag == kTagIccProfile) {
            // Bytes at an offset (a profile never fits in the entry itself).
            const uint64_t offset = order.u32(entry + 8);
            iccBad |= iccSeen || (type != kTypeUndefined && type != kTypeByte) ||
                      values < kMinIccProfileBytes || values > kMaxIccProfileBytes ||
                      offset + values > size;
            iccSeen = true;
            found.icc = tiff + (iccBad ? 0 : offset);
            found.iccSize = values;
        }
    }
    if (!orientationSeen || orientationBad) found.orientation = 1;
    if (!iccSeen || iccBad) {
        found.icc = nullptr;
        found.iccSize = 0;
    }
    return found;
}

uint8_t exifOrientation(const uint8_t* payload, size_t size) {
    static constexpr uint8_t kExifIdentifier[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (payload && size >= sizeof kExifIdentifier &&
        std::memcmp(payload, kExifIdentifier, sizeof kExifIdentifier) == 0) {
        payload += sizeof kExifIdentifier;
        size -= sizeof kExifIdentifier;
    }
    return readTiffFirstDirectory(payload, size).orientation;
}

bool looksLikeTiff(const uint8_t* data, size_t size) {
    return size >= 4 && ((data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0) ||
                         (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42));
}

void scanTiff(const uint8_t* data, size_t size, SourceMetadata& metadata) {
    const TiffFirstDirectory directory = readTiffFirstDirectory(data, size);
    metadata.orientation = directory.orientation;
    keepIccProfile(metadata, directory.icc, directory.iccSize);
}

}  // namespace metadata
