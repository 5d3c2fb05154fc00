#include "codecs/bmp/bmp_reader.h"

#include <algorithm>
#include <cstring>

#include "codecs/bmp/bmp_rows.h"
#include "platform/platform.h"

namespace {

constexpr uint64_t kHeadersSize = 54;  // 14-byte file header + 40-byte info header
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitFields = 3;
constexpr uint64_t kFourGiB = uint64_t{1} << 32;

// Bytes of a row of `width` pixels at `bits` per pixel, padded to 4 bytes.
uint64_t paddedRowBytes(uint64_t width, uint32_t bits) {
    return ((width * bits + 31) / 32) * 4;
}

void readInfoHeader(const uint8_t* p, BitmapInfoHeader& h) {
    h.biSize = loadU32LE(p);
    h.biWidth = static_cast<int32_t>(loadU32LE(p + 4));
    h.biHeight = static_cast<int32_t>(loadU32LE(p + 8));
    h.biPlanes = loadU16LE(p + 12);
    h.biBitCount = loadU16LE(p + 14);
    h.biCompression = loadU32LE(p + 16);
    h.biSizeImage = loadU32LE(p + 20);
    h.biXPelsPerMeter = static_cast<int32_t>(loadU32LE(p + 24));
    h.biYPelsPerMeter = static_cast<int32_t>(loadU32LE(p + 28));
    h.biClrUsed = loadU32LE(p + 32);
    h.biClrImportant = loadU32LE(p + 36);
}

}  // namespace

ImageRecord* BmpReader::readFrom(const ReadSource& source, ImageRecord* record) {
    input_.status = kStatusOk;
    info_ = BitmapInfoHeader{};
    pixelOffset_ = 0;
    return readMapped(input_, source, record,
                      [this](ImageRecord& target) { return decode(target); });
}

void BmpReader::copyColorTable(ImageRecord& record, uint64_t wanted, uint32_t limit) const {
    // The caller has checked that the declared table lies inside the file.
    const uint64_t entries = std::min<uint64_t>(wanted, limit);
    std::memcpy(record.palette, input_.base + kHeadersSize, entries * sizeof(RgbQuad));
}

bool BmpReader::decode(ImageRecord& record) {
    const uint64_t fileSize = input_.size();
    if (fileSize < kHeadersSize) return input_.fail(kStatusInputError);
    pixelOffset_ = loadU32LE(input_.base + 10);
    if (pixelOffset_ > fileSize) return input_.fail(kStatusInputError);
    readInfoHeader(input_.base + 14, info_);
    input_.cursor = input_.base + kHeadersSize;

    if (info_.biWidth < 1 || info_.biHeight < 1) return input_.fail(kStatusUnsupported);
    record.sourceBitsPerPixel = info_.biBitCount;

    const uint32_t bits = info_.biBitCount;
    const uint64_t width = static_cast<uint64_t>(info_.biWidth);
    const uint64_t height = static_cast<uint64_t>(info_.biHeight);
    const bool indexed = bits == 1 || bits == 4 || bits == 8;
    if (!indexed && bits != 24 && bits != 16 && bits != 32) return input_.fail(kStatusUnsupported);
    const bool bitFields = info_.biCompression == kBiBitFields;
    if (info_.biCompression != kBiRgb && !(bitFields && (bits == 16 || bits == 32)))
        return input_.fail(kStatusUnsupported);

    const int outputBits = indexed ? 8 : 24;
    const uint64_t outputStride = paddedRowBytes(width, outputBits);
    const uint64_t outputSize = outputStride * height;  // < 2^63: both factors < 2^33
    if (outputSize >= kFourGiB) return input_.fail(kStatusUnsupported);

    // The colour table (or the three masks) always starts at offset 54. The
    // file must hold the table and every row counted from there; rows that
    // are missing only because the pixels start further on read as zero.
    const uint64_t sourceStride = paddedRowBytes(width, bits);
    uint64_t tableBytes = 0;
    if (indexed) {
        const uint64_t fullTable = uint64_t{4} << bits;
        tableBytes = info_.biClrUsed ? uint64_t{4} * info_.biClrUsed : fullTable;
    } else if (bitFields) {
        tableBytes = 12;
    }
    if (kHeadersSize + tableBytes + sourceStride * height > fileSize)
        return input_.fail(kStatusInputError);

    bmp::BitFields fields;
    if (bits == 16 || bits == 32) {
        uint32_t red = bits == 16 ? 0x7C00 : 0x00FF0000;
        uint32_t green = bits == 16 ? 0x03E0 : 0x0000FF00;
        uint32_t blue = bits == 16 ? 0x001F : 0x000000FF;
        if (bitFields) {
            red = loadU32LE(input_.base + kHeadersSize);
            green = loadU32LE(input_.base + kHeadersSize + 4);
            blue = loadU32LE(input_.base + kHeadersSize + 8);
        }
        if (!fields.setMasks(red, green, blue)) return input_.fail(kStatusInputError);
    }

    record.pixels =
        allocatePixelBuffer(static_cast<int64_t>(width), static_cast<int64_t>(height), outputBits);
    if (!record.pixels) return input_.fail(kStatusNoMemory);
    if (indexed) copyColorTable(record, tableBytes / 4, 1u << bits);

    const uint8_t* rows = input_.base + pixelOffset_;
    const uint64_t rowsAvailable = fileSize - pixelOffset_;
    if (bits == 8 || bits == 24) {
        // Same row layout as the record: copy what the file holds.
        std::memcpy(record.pixels, rows, std::min(rowsAvailable, outputSize));
    } else {
        for (uint64_t y = 0; y < height; ++y) {
            const uint64_t rowStart = y * sourceStride;
            if (rowStart >= rowsAvailable) break;  // the rest stays zero
            const uint8_t* in = rows + rowStart;
            const uint64_t available = std::min(sourceStride, rowsAvailable - rowStart);
            uint8_t* out = record.pixels + y * outputStride;
            const uint32_t w = static_cast<uint32_t>(width);
            switch (bits) {
                case 1:
                    bmp::unpack1BitRow(in, available, w, out);
                    break;
                case 4:
                    bmp::unpack4BitRow(in, available, w, out);
                    break;
                case 16:
                    fields.unpack16BitRow(in, available, w, out);
                    break;
                default:
                    fields.unpack32BitRow(in, available, w, out);
                    break;
            }
        }
    }

    setRecordGeometry(record, info_.biWidth, info_.biHeight, outputBits);
    record.header.biXPelsPerMeter = std::max(info_.biXPelsPerMeter, 0);
    record.header.biYPelsPerMeter = std::max(info_.biYPelsPerMeter, 0);
    record.sourceFormat = kFormatBmp;
    return true;
}
