// The pieces of the metadata scan: one per container, and the first
// directory of a TIFF structure, which TIFF files and Exif blocks share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/metadata/source_metadata.h"

namespace metadata {

// Orientation and ICC profile of a TIFF structure's first directory (tag
// 274 and tag 34675). Offsets are counted from `tiff`, the byte-order mark.
struct TiffFirstDirectory {
    uint8_t orientation = 1;
    const uint8_t* icc = nullptr;  // inside [tiff, tiff + size)
    size_t iccSize = 0;
};
TiffFirstDirectory readTiffFirstDirectory(const uint8_t* tiff, size_t size);

// The orientation of an Exif payload: a TIFF structure, possibly preceded by
// the "Exif\0\0" identifier (as WebP's EXIF chunk may hold it).
uint8_t exifOrientation(const uint8_t* payload, size_t size);

// Keeps a copy of `size` bytes as the profile when the size is plausible;
// false (and no profile) otherwise or when memory cannot be had.
bool keepIccProfile(SourceMetadata& metadata, const uint8_t* bytes, size_t size);
// Takes `storage` (holding `size` bytes) as the profile, under the same bounds.
bool takeIccProfile(SourceMetadata& metadata, std::unique_ptr<uint8_t[]> storage, size_t size);

bool looksLikeJpeg(const uint8_t* data, size_t size);
bool looksLikePng(const uint8_t* data, size_t size);
bool looksLikeTiff(const uint8_t* data, size_t size);
bool looksLikeWebp(const uint8_t* data, size_t size);

void scanJpeg(const uint8_t* data, size_t size, SourceMetadata& metadata);
void scanPng(const uint8_t* data, size_t size, SourceMetadata& metadata);
void scanTiff(const uint8_t* data, size_t size, SourceMetadata& metadata);
void scanWebp(const uint8_t* data, size_t size, SourceMetadata& metadata);

}  // namespace metadata
