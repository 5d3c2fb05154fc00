#include "codecs/tiff/tiff_reader.h"

#include <algorithm>
#include <cstring>

#include "codecs/size_bounds.h"
#include "platform/platform.h"

namespace {

enum Photometric : int32_t {
    kWhiteIsZero = 0,
    kBlackIsZero = 1,
    kRgb = 2,
    kPalette = 3,
};

bool isIndexedDepth(int32_t bits) {
    return bits == 1 || bits == 4 || bits == 8;
}

}  // namespace

TiffReader::~TiffReader() {
    releaseFileState();
}

void TiffReader::releaseFileState() {
    stripBuffer_.reset();
    strips_ = nullptr;
    input_.close();
}

ImageRecord* TiffReader::readFrom(const ReadSource& source, ImageRecord* record) {
    input_.status = kStatusOk;
    releaseFileState();
    directory_ = TiffDirectory{};
    outputBitCount_ = 0;
    outputStride_ = 0;
    sourceRowBytes_ = 0;
    unpackRow_ = nullptr;

    ImageRecord* result =
        readMapped(input_, source, record, [this](ImageRecord& target) { return decode(target); });
    releaseFileState();
    return result;
}

bool TiffReader::decode(ImageRecord& record) {
    if (!readTiffDirectory(input_, directory_)) return false;
    if (!choosePlan(record)) return false;

    uint64_t stripBytes = 0;
    if (!checkStrips(stripBytes)) return false;

    const uint64_t height = static_cast<uint64_t>(directory_.height);
    if (uint64_t{outputStride_} * height >= (uint64_t{1} << 32))
        return input_.fail(kStatusUnsupported);
    // Rows are only ever read from inside the strips: strips too short for
    // the picture mean a damaged file, which is refused rather than guessed.
    const uint64_t rowBytes = sourceRowBytes_ * height;
    if (rowBytes > stripBytes) return input_.fail(kStatusInputError);
    // Uncompressed rows take their bytes from the file: a large picture whose
    // rows need more bytes than the whole file holds is made of strips that
    // point at the same data again and again.
    const uint64_t outputBytes = uint64_t{outputStride_} * height;
    if (!size_bounds::plausible(outputBytes, rowBytes, input_.size()))
        return input_.fail(kStatusUnsupported);
    if (directory_.photometric == kPalette) {
        uint64_t entries = uint64_t{1} << directory_.bitsPerSample;
        if (!input_.holds(directory_.colorMapOffset, entries * 3 * 2))
            return input_.fail(kStatusInputError);
    }
    if (!gatherStrips(rowBytes)) return false;

    record.pixels = allocatePixelBuffer(directory_.width, directory_.height, outputBitCount_);
    if (!record.pixels) return input_.fail(kStatusNoMemory);
    if (outputBitCount_ == 8) readPalette(record);
    setRecordGeometry(record, directory_.width, directory_.height, outputBitCount_);
    unpackRows(record);
    readResolution(record);
    record.sourceFormat = kFormatTiff;
    return true;
}

bool TiffReader::choosePlan(ImageRecord& record) {
    const TiffDirectory& d = directory_;
    switch (d.photometric) {
        case kWhiteIsZero:
        case kBlackIsZero:
        case kPalette:
            if (!isIndexedDepth(d.bitsPerSample)) return input_.fail(kStatusUnsupported);
            if (d.photometric == kPalette && d.colorMapOffset == 0)
                return input_.fail(kStatusUnsupported);
            // One sample per pixel only: a gray-and-alpha file read as plain
            // gray would come out scrambled.
            if (d.sampleCount > 1 || d.samplesPerPixel > 1) return input_.fail(kStatusUnsupported);
            outputBitCount_ = 8;
            unpackRow_ = d.bitsPerSample == 1   ? unpackTiffRow1
                         : d.bitsPerSample == 4 ? unpackTiffRow4
                                                : unpackTiffRow8;
            sourceRowBytes_ = tiffSourceRowBytes(d.width, d.bitsPerSample, 1);
            record.sourceBitsPerPixel = d.bitsPerSample;
            break;
        case kRgb:
            if (d.sampleCount != 3 || (d.bitsPerSample != 8 && d.bitsPerSample != 16))
                return input_.fail(kStatusUnsupported);
            // Samples must be interleaved and exactly three per pixel.
            if ((d.samplesPerPixel != 0 && d.samplesPerPixel != 3) || d.planarConfiguration != 1)
                return input_.fail(kStatusUnsupported);
            outputBitCount_ = 24;
            if (d.bitsPerSample == 8)
                unpackRow_ = unpackTiffRowRgb8;
            else
                unpackRow_ = d.littleEndian ? unpackTiffRowRgb16LE : unpackTiffRowRgb16BE;
            sourceRowBytes_ = tiffSourceRowBytes(d.width, d.bitsPerSample, 3);
            record.sourceBitsPerPixel = d.bitsPerSample * 3;
            break;
        default:
            return input_.fail(kStatusUnsupported);
    }
    outputStride_ = rowStride(d.width, outputBitCount_);
    if (outputStride_ == 0) return input_.fail(kStatusUnsupported);  // row beyond 32 bits
    return true;
}

bool TiffReader::checkStrips(uint64_t& totalBytes) {
    const TiffDirectory& d = directory_;
    const uint32_t count = d.stripOffsets.count;
    totalBytes = 0;
    for (uint32_t i = 0; i < count; ++i) totalBytes += d.arrayValue(d.stripByteCounts, i);
    if (totalBytes > UINT32_MAX) return input_.fail(kStatusUnsupported);
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t offset = d.arrayValue(d.stripOffsets, i);
        uint64_t bytes = d.arrayValue(d.stripByteCounts, i);
        if (!input_.holds(offset, bytes)) return input_.fail(kStatusInputError);
    }
    return true;
}

// Collects the first `rowBytes` bytes of the strips in directory order; strips
// beyond them are never copied, whatever sizes the table claims.
bool TiffReader::gatherStrips(uint64_t rowBytes) {
    const TiffDirectory& d = directory_;
    const uint32_t count = d.stripOffsets.count;
    // Strips that follow one another in the file need no copy. Empty strips
    // contribute nothing wherever they point.
    uint32_t first = 0;
    while (d.arrayValue(d.stripByteCounts, first) == 0) ++first;  // totalBytes > 0
    bool contiguous = true;
    uint64_t expected = d.arrayValue(d.stripOffsets, first);
    for (uint32_t i = first; i < count && contiguous; ++i) {
        uint32_t bytes = d.arrayValue(d.stripByteCounts, i);
        if (bytes == 0) continue;
        contiguous = d.arrayValue(d.stripOffsets, i) == expected;
        expected += bytes;
    }
    if (contiguous) {
        strips_ = input_.base + d.arrayValue(d.stripOffsets, first);
        return true;
    }

    if (!stripBuffer_.allocate(rowBytes + 4)) return input_.fail(kStatusNoMemory);
    uint8_t* out = stripBuffer_.data();
    uint64_t left = rowBytes;
    for (uint32_t i = 0; i < count && left > 0; ++i) {
        const uint64_t bytes = std::min<uint64_t>(d.arrayValue(d.stripByteCounts, i), left);
        std::memcpy(out, input_.base + d.arrayValue(d.stripOffsets, i), bytes);
        out += bytes;
        left -= bytes;
    }
    strips_ = stripBuffer_.data();
    return true;
}

void TiffReader::readPalette(ImageRecord& record) {
    const TiffDirectory& d = directory_;
    const uint32_t entries = uint32_t{1} << d.bitsPerSample;
    if (d.photometric == kPalette) {
        // Colour map: all red values, then all green, then all blue; each
        // 16-bit value contributes its high byte. Bounds checked in decode().
        const uint8_t* p = input_.base + d.colorMapOffset;
        for (uint32_t k = 0; k < entries; ++k) record.palette[k].red = d.readU16(p) >> 8;
        for (uint32_t k = 0; k < entries; ++k) record.palette[k].green = d.readU16(p) >> 8;
        for (uint32_t k = 0; k < entries; ++k) record.palette[k].blue = d.readU16(p) >> 8;
        return;
    }
    const uint32_t step = 255 / (entries - 1);
    for (uint32_t k = 0; k < entries; ++k) {
        uint8_t gray =
            static_cast<uint8_t>(d.photometric == kWhiteIsZero ? 255 - k * step : k * step);
        record.palette[k] = RgbQuad{gray, gray, gray, 0};
    }
}

void TiffReader::unpackRows(ImageRecord& record) const {
    const uint32_t width = static_cast<uint32_t>(directory_.width);
    const uint32_t height = static_cast<uint32_t>(directory_.height);
    // TIFF rows run top to bottom; the record's rows bottom to top.
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* src = strips_ + uint64_t{y} * sourceRowBytes_;
        uint8_t* dst = record.pixels + uint64_t{height - 1 - y} * outputStride_;
        unpackRow_(src, dst, width);
    }
}

int32_t TiffReader::pixelsPerMetre(uint32_t rationalOffset) const {
    if (!input_.holds(rationalOffset, 8)) return 0;
    const uint8_t* p = input_.base + rationalOffset;
    uint32_t numerator = directory_.readU32(p);
    uint32_t denominator = directory_.readU32(p);
    if (denominator == 0) return 0;
    double value = static_cast<double>(numerator) / denominator;
    double perMetre;
    if (directory_.resolutionUnit == 2)
        perMetre = value / 0.0254 + 0.5;
    else if (directory_.resolutionUnit == 3)
        perMetre = value * 100 + 0.5;
    else
        return 0;
    // A resolution beyond what the header can hold is no usable resolution.
    if (perMetre >= 2147483648.0) return 0;
    return static_cast<int32_t>(perMetre);
}

void TiffReader::readResolution(ImageRecord& record) const {
    record.header.biXPelsPerMeter = 0;
    record.header.biYPelsPerMeter = 0;
    if (directory_.xResolutionOffset == 0 || directory_.yResolutionOffset == 0) return;
    record.header.biXPelsPerMeter = pixelsPerMetre(directory_.xResolutionOffset);
    record.header.biYPelsPerMeter = pixelsPerMetre(directory_.yResolutionOffset);
}
