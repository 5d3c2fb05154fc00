// "MRAW", a made-up picture format for the test plug-ins: a 32-byte header,
// a colour table and the rows of a bottom-up DIB (padded to 4 bytes), so that
// a plug-in can hand the pixels over unchanged.
#pragma once

#include <cstdint>
#include <cstring>

struct MrawHeader {
    char magic[4];  // "MRAW"
    uint32_t width;
    uint32_t height;
    uint16_t bitCount;       // 1, 4, 8 or 24
    uint16_t reportedDepth;  // what GetPictureInfo reports as the colour depth
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t paletteCount;  // RGBQUAD entries after the header
    // MrawFault for the faulting plug-ins: the low nibble in IsSupported or
    // GetPicture, the high nibble in GetPictureInfo.
    uint8_t fault;
    // How the plug-in hands the bitmap over: its info header's size
    // (MrawInfoHeader), the biClrUsed it states (0: the number of colours it
    // stores), and how many bytes its bits block lacks.
    uint8_t infoHeader;
    uint8_t statedColours;
    uint8_t missingBytes;
};
static_assert(sizeof(MrawHeader) == 32);

enum MrawFault : uint8_t {
    kNoFault = 0,
    kAccessViolation = 1,
    kDivideByZero = 2,
    kRaisedException = 3,
    kCaughtThrow = 4,    // a C++ exception the plug-in catches itself: no fault
    kEscapingThrow = 5,  // a C++ exception that leaves the plug-in
    kStackOverflow = 6,  // recursion without end
    kChangesSource = 7,  // GetPicture adds a byte to the file it decodes, as
                         // another program writing it meanwhile would
};

enum MrawInfoHeader : uint8_t {
    kInfoHeader40 = 0,  // BITMAPINFOHEADER
    kInfoHeaderV4 = 1,  // BITMAPV4HEADER, 108 bytes
    kInfoHeaderV5 = 2,  // BITMAPV5HEADER, 124 bytes
};

inline uint32_t infoHeaderSize(uint8_t kind) {
    return kind == kInfoHeaderV5 ? 124 : kind == kInfoHeaderV4 ? 108 : 40;
}

// Code the faulting plug-ins raise with RaiseException.
inline constexpr uint32_t kTestExceptionCode = 0xE0004D52;

inline bool isMraw(const void* data) {
    return std::memcmp(data, "MRAW", 4) == 0;
}

inline uint64_t mrawStride(uint32_t width, uint32_t bitCount) {
    return ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
}
