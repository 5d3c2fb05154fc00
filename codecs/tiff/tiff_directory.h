// The header and first image file directory of a TIFF file, read in place
// from the mapped view. Only the tags the reader needs are kept; every offset
// and count in the file is checked against the end of the view before use.
#pragma once

#include <cstdint>

#include "codecs/mapped_input.h"

// Directory entry types the reader understands.
inline constexpr uint16_t kTiffShort = 3;
inline constexpr uint16_t kTiffLong = 4;

// The values of an array tag (StripOffsets, StripByteCounts), left in the
// mapped file and read on demand in the file's byte order.
struct TiffArray {
    const uint8_t* values = nullptr;  // inside the view, count values long
    uint32_t count = 0;
    uint16_t type = 0;  // kTiffShort or kTiffLong

    bool present() const { return values != nullptr; }
};

struct TiffDirectory {
    // Byte order of the file: "II" little-endian, "MM" big-endian.
    bool littleEndian = true;
    U16Reader readU16 = readU16LE;
    U32Reader readU32 = readU32LE;

    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerSample = 1;
    int32_t sampleCount = 0;  // number of BitsPerSample values (0: tag absent)
    int32_t compression = 1;
    int32_t photometric = 4;      // a file without the tag is refused
    int32_t samplesPerPixel = 0;  // 0: tag absent
    int32_t planarConfiguration = 1;
    TiffArray stripOffsets;
    TiffArray stripByteCounts;
    uint32_t xResolutionOffset = 0;  // 0: absent
    uint32_t yResolutionOffset = 0;
    int32_t resolutionUnit = 2;
    uint32_t colorMapOffset = 0;  // 0: absent

    // Value `index` of an array tag, in the file's byte order.
    uint32_t arrayValue(const TiffArray& array, uint32_t index) const;
};

// Reads the 8-byte header and the first directory into `directory` (which
// is reset first). On failure returns false with input.status set to the
// reason (50002 unsupported, 50007 malformed).
bool readTiffDirectory(MappedInput& input, TiffDirectory& directory);
