#include "core/format_detect.h"

#include "platform/platform.h"

ImageFormat detectFormatOfBytes(const uint8_t* b, uint32_t count) {
    if (count < 8) return kFormatUnknown;
    if (b[0] == 0x42 && b[1] == 0x4D) return kFormatBmp;
    if (b[0] == 0x89 && b[1] == 0x50)
        return b[2] == 0x4E && b[3] == 0x47 && b[4] == 0x0D && b[5] == 0x0A && b[6] == 0x1A &&
                       b[7] == 0x0A
                   ? kFormatPng
                   : kFormatUnknown;
    if (b[0] == 0xFF && b[1] == 0xD8) return kFormatJpeg;
    // Only the low byte of the TIFF version field is looked at.
    if (b[0] == 0x49 && b[1] == 0x49) return b[2] == 0x2A ? kFormatTiff : kFormatUnknown;
    if (b[0] == 0x4D && b[1] == 0x4D) return b[3] == 0x2A ? kFormatTiff : kFormatUnknown;
    if (b[0] == 0x47 && b[1] == 0x49) return b[2] == 0x46 ? kFormatGif : kFormatUnknown;
    return kFormatUnknown;
}

ImageFormat detectFormat(const char16_t* path) {
    platform::File file;
    if (!file.openForReading(path)) return kFormatOpenFailed;
    uint8_t bytes[8];
    uint32_t count = static_cast<uint32_t>(file.read(bytes, sizeof bytes));
    return detectFormatOfBytes(bytes, count);
}
