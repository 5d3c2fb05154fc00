#include "codecs/metadata/source_metadata.h"

#include <cstring>
#include <new>

#include "codecs/metadata/metadata_parts.h"

namespace metadata {

bool takeIccProfile(SourceMetadata& metadata, std::unique_ptr<uint8_t[]> storage, size_t size) {
    if (!storage || size < kMinIccProfileBytes || size > kMaxIccProfileBytes) return false;
    metadata.iccStorage = std::move(storage);
    metadata.iccProfile = metadata.iccStorage.get();
    metadata.iccSize = size;
    return true;
}

bool keepIccProfile(SourceMetadata& metadata, const uint8_t* bytes, size_t size) {
    if (!bytes || size < kMinIccProfileBytes || size > kMaxIccProfileBytes) return false;
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[size]);
    if (!copy) return false;
    std::memcpy(copy.get(), bytes, size);
    return takeIccProfile(metadata, std::move(copy), size);
}

}  // namespace metadata

SourceMetadata scanSourceMetadata(const uint8_t* data, size_t size) {
    SourceMetadata found;
    if (!data) return found;
    if (metadata::looksLikeJpeg(data, size))
        metadata::scanJpeg(data, size, found);
    else if (metadata::looksLikeTiff(data, size))
        metadata::scanTiff(data, size, found);
    else if (metadata::looksLikePng(data, size))
        metadata::scanPng(data, size, found);
    else if (metadata::looksLikeWebp(data, size))
        metadata::scanWebp(data, size, found);
    return found;
}
