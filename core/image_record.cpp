#include "core/image_record.h"

#include <cstring>

#include "platform/platform.h"

uint8_t* allocatePixelBuffer(int64_t width, int64_t height, int bitCount) {
    if (width <= 0 || height <= 0 || (bitCount != 8 && bitCount != 24)) return nullptr;
    uint64_t stride = rowStride(width, bitCount);
    if (stride == 0) return nullptr;
    uint64_t size = stride * static_cast<uint64_t>(height);
    if (size / stride != static_cast<uint64_t>(height) || size >= (uint64_t{1} << 32))
        return nullptr;
    return static_cast<uint8_t*>(platform::allocatePages(static_cast<size_t>(size) + 4));
}

void releasePixelBuffer(uint8_t* pixels) {
    platform::releasePages(pixels);
}

void resetRecord(ImageRecord& record) {
    std::memset(record.palette, 0, sizeof record.palette);
    record.pixels = nullptr;
    std::memset(&record.header, 0, sizeof record.header);
    record.header.biSize = 40;
    record.header.biPlanes = 1;
}

void setRecordGeometry(ImageRecord& record, int32_t width, int32_t height, int bitCount) {
    record.header.biSize = 40;
    record.header.biWidth = width;
    record.header.biHeight = height;
    record.header.biPlanes = 1;
    record.header.biBitCount = static_cast<uint16_t>(bitCount);
    record.header.biCompression = 0;
    record.header.biSizeImage = 0;
    record.header.biClrUsed = 0;
    record.header.biClrImportant = 0;
}
