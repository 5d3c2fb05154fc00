// What a source's bytes say about showing its picture, read apart from the
// decoders: the Exif orientation (JPEG, TIFF, WebP) and the embedded ICC
// colour profile (JPEG, PNG, TIFF, WebP). HEIF and AVIF carry both in their
// own boxes, which their decoder applies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Profiles above this are ignored: real ones stay far below (a few KiB, a
// large LUT profile about 1 MiB), and the bound keeps a hostile file from
// making the scan take memory out of proportion to anything it could show.
inline constexpr size_t kMaxIccProfileBytes = size_t{4} << 20;
// An ICC profile starts with a 128-byte header; anything shorter is no profile.
inline constexpr size_t kMinIccProfileBytes = 128;

struct SourceMetadata {
    // Exif orientation 1..8; 1 when absent, damaged or absurd.
    uint8_t orientation = 1;
    // The embedded ICC profile's bytes, null when none. They are always this
    // record's own copy (iccStorage): the JPEG reader gives back the source
    // pages it has consumed, so a pointer into the source would not outlive
    // the decode.
    const uint8_t* iccProfile = nullptr;
    size_t iccSize = 0;
    std::unique_ptr<uint8_t[]> iccStorage;

    // Orientations 5 to 8 turn the picture by a quarter: the upright width
    // is the stored height.
    bool swapsSides() const { return orientation >= 5 && orientation <= 8; }
};

// Scans a whole file's bytes. Never fails (whatever it cannot use counts as
// absent) and never reads outside [data, data + size).
SourceMetadata scanSourceMetadata(const uint8_t* data, size_t size);
