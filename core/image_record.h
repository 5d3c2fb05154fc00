// The one in-memory picture format: a Windows device-independent bitmap,
// 8-bit indexed or 24-bit blue-green-red, rows stored bottom-up and padded to
// 4 bytes. Every reader fills one, every writer reads one.
#pragma once

#include <cstdint>

#pragma pack(push, 2)
// Same layout as the Windows BITMAPINFOHEADER (40 bytes).
struct BitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40);

struct RgbQuad {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
};
static_assert(sizeof(RgbQuad) == 4);

// Which decoder produced a record (the plug-in host is 0).
enum ImageFormat : uint32_t {
    kFormatUnknown = 0,
    kFormatBmp = 1,
    kFormatPng = 2,
    kFormatJpeg = 3,
    kFormatTiff = 4,
    kFormatGif = 5,
    kFormatOpenFailed = 6,
};

struct ImageRecord {
    BitmapInfoHeader header;
    RgbQuad palette[256];
    uint32_t sourceFormat;
    uint8_t* pixels;  // page allocation of stride * height + 4 bytes
    uint32_t sourceFileSize;
    uint32_t sourceBitsPerPixel;
    uint64_t sourceModified;  // 100-ns intervals since 1601 (FILETIME)
};

// A source's one fully transparent colour, handed from the PNG and GIF readers
// to the PNG and GIF writers.
struct TransparentColor {
    bool present;
    uint8_t red, green, blue;
};

// The driver's record plus the header values it keeps current while resizing.
struct WorkingPicture {
    ImageRecord record;
    int32_t width;
    int32_t height;
    uint32_t currentBitCount;
    uint16_t loadedBitCount;
    int32_t horizontalResolution;
    int32_t verticalResolution;
};

// Bytes per row for a depth of 8 or 24 bits, padded to 4 bytes; 0 when the
// row would not fit in 32 bits.
inline uint32_t rowStride(int64_t width, int bitCount) {
    if (width <= 0) return 0;
    uint64_t bytes = ((static_cast<uint64_t>(width) * (bitCount / 8)) + 3) & ~uint64_t{3};
    return bytes > UINT32_MAX ? 0 : static_cast<uint32_t>(bytes);
}

// Allocates a zero-filled pixel buffer of stride * height + 4 bytes. Fails
// (null) when a side is not positive or stride * height does not fit in 32 bits.
uint8_t* allocatePixelBuffer(int64_t width, int64_t height, int bitCount);
void releasePixelBuffer(uint8_t* pixels);

// Resets a record for a new read: palette cleared, no pixels, and the
// invariant header fields set (biSize 40, one plane, BI_RGB).
void resetRecord(ImageRecord& record);
// Sets the header for a decoded picture of the given size and buffer depth.
void setRecordGeometry(ImageRecord& record, int32_t width, int32_t height, int bitCount);
