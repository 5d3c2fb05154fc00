#include "codecs/gif/gif_reader.h"

#include <cstring>

#include "codecs/gif/gif_lzw_decoder.h"
#include "codecs/size_bounds.h"
#include "platform/owned_memory.h"

namespace {

constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kLabelPlainText = 0x01;
constexpr uint8_t kLabelGraphicControl = 0xF9;
constexpr uint8_t kLabelComment = 0xFE;
constexpr uint8_t kLabelApplication = 0xFF;

// Row of the decoded (stored) image that is displayed as row `row` of an
// interlaced image: passes of every 8th row from 0, every 8th from 4, every
// 4th from 2 and every 2nd from 1.
uint32_t interlacedSourceRow(uint32_t row, uint32_t height) {
    const uint32_t pass1 = (height + 7) / 8;
    const uint32_t pass2 = (height + 3) / 8;
    const uint32_t pass3 = (height + 1) / 4;
    if (row % 8 == 0) return row / 8;
    if (row % 8 == 4) return pass1 + row / 8;
    if (row % 4 == 2) return pass1 + pass2 + row / 4;
    return pass1 + pass2 + pass3 + row / 2;
}

}  // namespace

ImageRecord* GifReader::readFrom(const ReadSource& source, ImageRecord* record) {
    status_ = kStatusOk;
    resetFileState();
    ImageRecord* result = readMapped(input_, source, record, [this](ImageRecord& target) {
        target.sourceFormat = kFormatGif;
        ImageDescriptor image{};
        if (!readScreen() || !readBlocksUntilImage(image) || !decodeImage(image, target))
            return false;
        target.sourceBitsPerPixel = colorBits_;
        return true;
    });
    if (!result) {
        // Opening or allocating failed before the decoder could say why.
        if (status_ == kStatusOk) status_ = input_.status;
        transparent_ = false;
        transparentIndex_ = 0;
        std::memset(transparentRgb_, 0, sizeof transparentRgb_);
    }
    return result;
}

void GifReader::resetFileState() {
    screenWidth_ = screenHeight_ = 0;
    colorBits_ = 0;
    backgroundIndex_ = 0;
    hasGlobalTable_ = hasLocalTable_ = false;
    std::memset(globalTable_, 0, sizeof globalTable_);
    std::memset(localTable_, 0, sizeof localTable_);
    controlTransparent_ = false;
    controlIndex_ = 0;
    transparent_ = false;
    transparentIndex_ = 0;
    std::memset(transparentRgb_, 0, sizeof transparentRgb_);
}

// Signature, logical screen descriptor and global colour table.
bool GifReader::readScreen() {
    const uint8_t* p = input_.base;
    if (input_.size() < 13 || std::memcmp(p, "GIF", 3) != 0 ||
        (std::memcmp(p + 3, "87a", 3) != 0 && std::memcmp(p + 3, "89a", 3) != 0))
        return fail(kStatusMalformed);
    screenWidth_ = loadU16LE(p + 6);
    screenHeight_ = loadU16LE(p + 8);
    // The canvas is the whole screen; its buffer must fit in 32 bits.
    const uint64_t canvasBytes = uint64_t{rowStride(screenWidth_, 8)} * screenHeight_;
    if (screenWidth_ == 0 || screenHeight_ == 0 || canvasBytes >= (uint64_t{1} << 32)) {
        return fail(kStatusUnsupported);
    }
    const uint8_t packed = p[10];
    p += 13;
    if (packed & 0x80) {
        const uint32_t bits = (packed & 7u) + 1;
        const size_t bytes = size_t{3} << bits;
        backgroundIndex_ = input_.base[11];
        if (static_cast<size_t>(input_.end - p) < bytes) return fail(kStatusMalformed);
        std::memcpy(globalTable_, p, bytes);
        p += bytes;
        hasGlobalTable_ = true;
        colorBits_ = bits;
    }
    input_.cursor = p;
    return true;
}

// Steps over a chain of sub-blocks up to and including its empty terminator.
bool GifReader::skipSubBlocks(const uint8_t*& p) {
    const uint8_t* end = input_.end;
    for (;;) {
        if (p >= end) break;
        const uint8_t length = *p++;
        if (length == 0) return true;
        if (end - p < length) break;
        p += length;
    }
    return fail(kStatusMalformed);
}

// Walks the blocks after the screen descriptor up to the first image
// descriptor, taking transparency from graphic control extensions on the way.
bool GifReader::readBlocksUntilImage(ImageDescriptor& image) {
    const uint8_t* p = input_.cursor;
    const uint8_t* end = input_.end;
    for (;;) {
        if (p >= end) break;  // trailer or image missing
        const uint8_t block = *p;

        if (block == kExtensionIntroducer) {
            if (end - p < 2) break;
            switch (p[1]) {
                case kLabelGraphicControl:
                    // Fixed layout: introducer, label, size, flags, delay (2),
                    // transparent index, terminator.
                    if (end - p < 8) break;
                    controlTransparent_ = (p[3] & 1) != 0;
                    controlIndex_ = p[6];
                    p += 8;
                    continue;
                case kLabelComment:
                    p += 2;
                    if (!skipSubBlocks(p)) return false;
                    continue;
                case kLabelPlainText:  // 12-byte header block
                    if (end - p < 16) break;
                    p += 15;
                    if (!skipSubBlocks(p)) return false;
                    continue;
                case kLabelApplication:  // 11-byte header block
                    if (end - p < 15) break;
                    p += 14;
                    if (!skipSubBlocks(p)) return false;
                    continue;
                default:
                    return fail(kStatusInputError);
            }
            break;  // an extension cut short
        }

        if (block == kImageSeparator) {
            if (end - p < 10) break;
            image.left = loadU16LE(p + 1);
            image.top = loadU16LE(p + 3);
            image.width = loadU16LE(p + 5);
            image.height = loadU16LE(p + 7);
            const uint8_t packed = p[9];
            p += 10;
            if (uint32_t{image.left} + image.width > screenWidth_ ||
                uint32_t{image.top} + image.height > screenHeight_)
                break;
            image.interlaced = (packed & 0x40) != 0;
            if (packed & 0x80) {
                const uint32_t bits = (packed & 7u) + 1;
                const size_t bytes = size_t{3} << bits;
                if (static_cast<size_t>(end - p) < bytes + 1) break;
                std::memcpy(localTable_, p, bytes);
                p += bytes;
                hasLocalTable_ = true;
                if (bits > colorBits_) colorBits_ = bits;
            } else if (!hasGlobalTable_ || p >= end) {
                break;
            }
            image.minCodeSize = *p++;
            input_.cursor = p;
            return true;
        }

        if (block == kTrailer) break;
        return fail(kStatusInputError);
    }
    return fail(kStatusMalformed);
}

// Collects the image's sub-blocks, decodes them and builds the record.
//
// The collected data buffer is sized from the sub-block chain itself, which
// is measured before anything is copied: it always holds all of the image's
// data, however poorly compressed, and can never be written past.
bool GifReader::decodeImage(const ImageDescriptor& image, ImageRecord& record) {
    if (image.minCodeSize < 2 || image.minCodeSize > 8) return fail(kStatusMalformed);
    const uint8_t* const start = input_.cursor;
    const uint8_t* const end = input_.end;
    size_t dataSize = 0;
    for (const uint8_t* p = start;;) {
        if (p >= end) return fail(kStatusMalformed);
        const uint8_t length = *p++;
        if (length == 0) {
            if (dataSize == 0) {  // no image data at all
                return fail(kStatusMalformed);
            }
            break;
        }
        if (end - p < length) return fail(kStatusMalformed);
        dataSize += length;
        p += length;
    }

    // The screen outside the image is background and needs no data, but a
    // canvas far larger than anything the data could decode is no picture.
    const uint64_t canvasPixels = uint64_t{screenWidth_} * screenHeight_;
    const uint64_t canvasBytes = uint64_t{rowStride(screenWidth_, 8)} * screenHeight_;
    if (!size_bounds::plausible(canvasBytes, canvasPixels,
                                size_bounds::lzwIndicesAtMost(dataSize, image.minCodeSize)))
        return fail(kStatusUnsupported);

    const size_t pixelCount = size_t{image.width} * image.height;
    platform::PageBuffer indices;
    {
        platform::PageBuffer data;
        platform::HeapBlock table;
        if (!data.allocate(dataSize + gif::kLzwInputPadding) ||
            !table.allocate(sizeof(gif::LzwDecoderTable)) ||
            (pixelCount > 0 && !indices.allocate(pixelCount)))
            return fail(kStatusNoMemory);
        uint8_t* dst = data.data();
        for (const uint8_t* p = start; *p != 0; p += 1 + *p) {
            std::memcpy(dst, p + 1, *p);
            dst += *p;
        }
        if (pixelCount > 0)
            gif::decodeLzw(*table.as<gif::LzwDecoderTable>(), data.data(), dataSize,
                           image.minCodeSize, indices.data(), pixelCount);
    }

    record.pixels = allocatePixelBuffer(screenWidth_, screenHeight_, 8);
    if (!record.pixels) return fail(kStatusNoMemory);
    buildCanvas(image, indices.data(), record);
    return true;
}

void GifReader::buildCanvas(const ImageDescriptor& image, const uint8_t* indices,
                            ImageRecord& record) {
    setRecordGeometry(record, screenWidth_, screenHeight_, 8);
    record.header.biXPelsPerMeter = 0;
    record.header.biYPelsPerMeter = 0;

    // The transparent entry takes the background colour, so that the picture
    // looks as it would over the file's background (or white).
    uint8_t* active = hasLocalTable_ ? localTable_ : globalTable_;
    transparent_ = controlTransparent_;
    transparentIndex_ = controlIndex_;
    if (flattenTransparency_ && controlTransparent_) {
        const uint8_t* background = (useFileBackground_ && hasGlobalTable_)
                                        ? globalTable_ + 3 * backgroundIndex_
                                        : fallbackRgb_;
        uint8_t rgb[3] = {background[0], background[1], background[2]};
        std::memcpy(active + 3 * controlIndex_, rgb, 3);
    }
    if (transparent_) std::memcpy(transparentRgb_, active + 3 * transparentIndex_, 3);

    for (int i = 0; i < 256; ++i) {
        record.palette[i].red = active[3 * i];
        record.palette[i].green = active[3 * i + 1];
        record.palette[i].blue = active[3 * i + 2];
        record.palette[i].reserved = 0;
    }

    // Rows are stored bottom-up: display row y is buffer row height - 1 - y.
    // The buffer arrives zero-filled, so a background index of 0 needs no fill.
    const uint32_t stride = rowStride(screenWidth_, 8);
    const uint8_t background = backgroundIndex_;
    const uint32_t rightMargin = uint32_t{screenWidth_} - image.left - image.width;
    for (uint32_t y = 0; y < screenHeight_; ++y) {
        uint8_t* row = record.pixels + size_t{screenHeight_ - 1 - y} * stride;
        if (y < image.top || y >= uint32_t{image.top} + image.height) {
            if (background) std::memset(row, background, screenWidth_);
            continue;
        }
        const uint32_t imageRow = y - image.top;
        const uint32_t sourceRow =
            image.interlaced ? interlacedSourceRow(imageRow, image.height) : imageRow;
        if (background) {
            std::memset(row, background, image.left);
            std::memset(row + image.left + image.width, background, rightMargin);
        }
        if (image.width)
            std::memcpy(row + image.left, indices + size_t{sourceRow} * image.width, image.width);
    }
}
