#include "codecs/png/png_reader.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "codecs/png/chunk_crc.h"
#include "codecs/png/png_zlib.h"
#include "codecs/size_bounds.h"
#include "platform/owned_memory.h"
#include "platform/platform.h"

using namespace png;

namespace {

constexpr uint32_t kHeaderEnd = 8 + 8 + 13 + 4;  // signature and the whole IHDR chunk

// Adam7 pass geometry: column start, row start, column increment, row increment.
constexpr uint32_t kPassColumnStart[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr uint32_t kPassRowStart[7] = {0, 0, 4, 0, 2, 0, 1};
constexpr uint32_t kPassColumnIncrement[7] = {8, 8, 4, 4, 2, 2, 1};
constexpr uint32_t kPassRowIncrement[7] = {8, 8, 8, 4, 4, 2, 2};

// Gray ramp step (and bKGD scale) per bit depth.
int grayStep(int bitDepth) {
    switch (bitDepth) {
        case 1:
            return 255;
        case 2:
            return 85;
        case 4:
            return 17;
        default:
            return 1;
    }
}

// A sample of a 2-byte field as the record keeps it: the low byte for depths
// up to 8, the high byte for 16-bit samples.
uint8_t sampleByte(const uint8_t* field, int bitDepth) {
    return bitDepth == 16 ? field[0] : field[1];
}

// The zlib stream of one decode, ended when the object goes away.
class InflateStream {
  public:
    InflateStream() { std::memset(&stream_, 0, sizeof stream_); }
    ~InflateStream() {
        if (initialised_) inflateEnd(&stream_);
    }
    bool init(const uint8_t* data, uint32_t length) {
        useHeapAllocator(stream_);
        stream_.next_in = const_cast<Bytef*>(data);
        stream_.avail_in = length;
        initialised_ = inflateInit2(&stream_, 15) == Z_OK;
        return initialised_;
    }
    z_stream& get() { return stream_; }

  private:
    z_stream stream_;
    bool initialised_ = false;
};

// The inflated stream holds every sample of the picture at least once, so
// compressed data that could not inflate to that much cannot be this picture.
// The pixel buffer was checked first: width * height < 2^32.
bool dataCanDescribe(uint32_t compressedBytes, uint64_t pixelBytes, int32_t width, int32_t height,
                     int bitDepth, const LayoutInfo& layout) {
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    const uint64_t bitsPerPixel = bitDepth < 8
                                      ? static_cast<uint64_t>(bitDepth)
                                      : static_cast<uint64_t>(layout.filterBytesPerPixel) * 8;
    const uint64_t sampleBytes = (pixels * bitsPerPixel + 7) / 8;
    const uint64_t memoryBytes = pixelBytes + (layout.hasAlpha ? pixels : 0);
    return size_bounds::plausible(memoryBytes, sampleBytes,
                                  size_bounds::inflatedBytesAtMost(compressedBytes));
}

}  // namespace

void PngReader::setDefaultBackground(uint8_t red, uint8_t green, uint8_t blue) {
    defaultBackground_ = Rgb{red, green, blue};
}

bool PngReader::transparentColour(uint8_t& red, uint8_t& green, uint8_t& blue) const {
    if (!hasTransparentColour_) return false;
    red = transparentColour_.red;
    green = transparentColour_.green;
    blue = transparentColour_.blue;
    return true;
}

void PngReader::resetFileState() {
    input_.status = kStatusOk;
    record_ = nullptr;
    width_ = height_ = 0;
    bitDepth_ = colourType_ = 0;
    interlace_ = 0;
    layout_ = LayoutInfo{};
    stride_ = fullRowLength_ = 0;
    paletteCount_ = 0;
    seenPalette_ = seenImageData_ = seenEnd_ = tookBackground_ = tookTransparency_ = false;
    fileBackground_ = transparentSample_ = Rgb{};
    std::memset(paletteAlpha_, 255, sizeof paletteAlpha_);
    resolutionX_ = resolutionY_ = 0;
    pixels_.reset();
    alphaPlane_.reset();
    rowBuffers_.reset();
    convert_ = nullptr;
    hasTransparentColour_ = false;
    transparentColour_ = Rgb{};
}

ImageRecord* PngReader::readFrom(const ReadSource& source, ImageRecord* record) {
    resetFileState();
    ImageRecord* result = readMapped(input_, source, record, [this](ImageRecord& target) {
        record_ = &target;
        target.sourceFormat = kFormatPng;
        const bool ok = decode(target);
        if (ok) target.pixels = pixels_.release();
        return ok;
    });
    alphaPlane_.reset();
    rowBuffers_.reset();
    pixels_.reset();
    record_ = nullptr;
    if (!result) {
        if (input_.status == kStatusOk) input_.status = kStatusMalformed;
        hasTransparentColour_ = false;
    }
    return result;
}

bool PngReader::decode(ImageRecord& record) {
    if (input_.size() < kHeaderEnd || std::memcmp(input_.base, kSignature, 8) != 0)
        return fail(kStatusMalformed);
    if (!readHeader() || !walkChunks() || !composite()) return false;

    setRecordGeometry(record, width_, height_, layout_.outputBits);
    record.header.biXPelsPerMeter = resolutionX_;
    record.header.biYPelsPerMeter = resolutionY_;
    record.sourceBitsPerPixel =
        static_cast<uint32_t>(colourType_ == 2 || colourType_ == 6 ? bitDepth_ * 3 : bitDepth_);
    settleTransparentColour();
    return true;
}

bool PngReader::readHeader() {
    const uint8_t* chunk = input_.base + 8;
    if (loadU32BE(chunk) != 13) return fail(kPngBadHeaderLength);
    if (loadU32BE(chunk + 4) != kChunkIHDR) return fail(kPngMissingHeader);
    if (!chunkCrcMatches(chunk, 13)) return fail(kPngBadCrc);

    const uint8_t* data = chunk + 8;
    width_ = static_cast<int32_t>(loadU32BE(data));
    height_ = static_cast<int32_t>(loadU32BE(data + 4));
    bitDepth_ = data[8];
    colourType_ = data[9];
    interlace_ = data[12];
    if (width_ <= 0 || height_ <= 0) return fail(kStatusUnsupported);
    if (data[10] != 0) return fail(kPngBadCompression);
    if (data[11] != 0) return fail(kPngBadFilterMethod);
    if (interlace_ > 1) return fail(kPngBadInterlace);
    if (bitDepth_ != 1 && bitDepth_ != 2 && bitDepth_ != 4 && bitDepth_ != 8 && bitDepth_ != 16)
        return fail(kPngBadBitDepth);
    if (!layoutFor(bitDepth_, colourType_, layout_)) return fail(kPngBadColourType);

    for (int filter = 0; filter < 5; ++filter)
        reconstruct_[filter] =
            reconstructorFor(filter, layout_.filterBytesPerPixel, layout_.highBytesOnly);
    convert_ = converterFor(layout_.layout);

    // Gray images are stored as indices into a gray ramp.
    if (colourType_ == 0 || colourType_ == 4) {
        const int step = grayStep(bitDepth_);
        for (int k = 0; k * step < 256; ++k) {
            const uint8_t level = static_cast<uint8_t>(k * step);
            record_->palette[k] = RgbQuad{level, level, level, 0};
        }
    }
    return true;
}

bool PngReader::chunkCrcMatches(const uint8_t* chunk, uint32_t length) const {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Fuzzing builds take every CRC as valid so that mutated chunks get parsed.
    if (!std::getenv("MORAVEL_FUZZ_CHECK_CRC")) return true;
#endif
    const uint32_t crc = chunkCrc(chunk + 4, static_cast<size_t>(length) + 4);
    return crc == loadU32BE(chunk + 8 + length);
}

bool PngReader::walkChunks() {
    const uint8_t* chunk = input_.base + kHeaderEnd;
    bool runEnded = false;
    for (;;) {
        // Length, type and CRC must lie in the file, and the data between them.
        const uint64_t left = static_cast<uint64_t>(input_.end - chunk);
        if (left < 12) return fail(kStatusMalformed);
        const uint32_t length = loadU32BE(chunk);
        if (length & 0x80000000u) return fail(kPngBadChunkLength);
        if (left - 12 < length) return fail(kStatusMalformed);
        const uint32_t type = loadU32BE(chunk + 4);
        const uint8_t* next = chunk + 12 + length;

        switch (type) {
            case kChunkIHDR:
                return fail(kPngChunkOutOfOrder);
            case kChunkPLTE:
                if (colourType_ == 3 && !takePalette(chunk, length)) return false;
                break;
            case kChunkIDAT:
                if (runEnded) return fail(kPngChunkOutOfOrder);
                if (!readImageDataRun(chunk, next)) return false;
                runEnded = true;
                break;
            case kChunkIEND:
                if (!chunkCrcMatches(chunk, length)) return fail(kPngBadCrc);
                if (!seenImageData_ || (colourType_ == 3 && !seenPalette_))
                    return fail(kPngMissingData);
                seenEnd_ = true;
                return true;  // nothing after IEND is read
            case kChunkTRNS:
                takeTransparency(chunk, length);
                break;
            case kChunkBKGD:
                takeBackground(chunk, length);
                break;
            case kChunkPHYS:
                takeResolution(chunk, length);
                break;
            default:
                break;  // unknown chunks are skipped, critical or not
        }
        chunk = next;
    }
}

bool PngReader::takePalette(const uint8_t* chunk, uint32_t length) {
    if (seenPalette_ || seenImageData_) return fail(kPngChunkOutOfOrder);
    if (!chunkCrcMatches(chunk, length)) return fail(kPngBadCrc);
    const int limit = 1 << bitDepth_;  // 2, 4, 16 or 256 entries
    int count = static_cast<int>(length / 3 > 256 ? 256 : length / 3);
    if (count > limit) count = limit;
    const uint8_t* rgb = chunk + 8;
    for (int k = 0; k < count; ++k, rgb += 3)
        record_->palette[k] = RgbQuad{rgb[2], rgb[1], rgb[0], 0};
    paletteCount_ = count;
    seenPalette_ = true;
    return true;
}

void PngReader::takeTransparency(const uint8_t* chunk, uint32_t length) {
    if (tookTransparency_ || seenImageData_ || !chunkCrcMatches(chunk, length)) return;
    const uint8_t* data = chunk + 8;
    switch (colourType_) {
        case 0:
            if (length != 2) return;
            transparentSample_.green = sampleByte(data, bitDepth_);
            break;
        case 2:
            if (length != 6) return;
            transparentSample_ = Rgb{sampleByte(data, bitDepth_), sampleByte(data + 2, bitDepth_),
                                     sampleByte(data + 4, bitDepth_)};
            break;
        case 3:
            if (!seenPalette_ || length > static_cast<uint32_t>(paletteCount_)) return;
            std::memcpy(paletteAlpha_, data, length);  // later entries stay opaque
            break;
        default:
            return;  // images with an alpha channel carry no tRNS
    }
    tookTransparency_ = true;
}

void PngReader::takeBackground(const uint8_t* chunk, uint32_t length) {
    if (tookBackground_ || seenImageData_ || !chunkCrcMatches(chunk, length)) return;
    const uint8_t* data = chunk + 8;
    switch (colourType_) {
        case 0:
        case 4: {
            if (length != 2) return;
            uint8_t gray;
            if (bitDepth_ < 8) {
                // A gray level beyond the bit depth names no colour: ignore it.
                if (data[0] != 0 || data[1] >= (1 << bitDepth_)) return;
                gray = static_cast<uint8_t>(data[1] * grayStep(bitDepth_));
            } else {
                gray = sampleByte(data, bitDepth_);
            }
            fileBackground_ = Rgb{gray, gray, gray};
            break;
        }
        case 3: {
            if (length != 1 || !seenPalette_) return;
            const RgbQuad& entry = record_->palette[data[0]];
            fileBackground_ = Rgb{entry.red, entry.green, entry.blue};
            break;
        }
        default:
            if (length != 6) return;
            fileBackground_ = Rgb{sampleByte(data, bitDepth_), sampleByte(data + 2, bitDepth_),
                                  sampleByte(data + 4, bitDepth_)};
            break;
    }
    tookBackground_ = true;
}

void PngReader::takeResolution(const uint8_t* chunk, uint32_t length) {
    if (seenImageData_ || length != 9 || !chunkCrcMatches(chunk, length)) return;
    const uint8_t* data = chunk + 8;
    if (data[8] != 1) return;  // only pixels per metre are meaningful
    const uint32_t x = loadU32BE(data);
    const uint32_t y = loadU32BE(data + 4);
    if (x >= 0x80000000u || y >= 0x80000000u) return;
    resolutionX_ = static_cast<int32_t>(x);
    resolutionY_ = static_cast<int32_t>(y);
}

bool PngReader::readImageDataRun(const uint8_t* firstChunk, const uint8_t*& next) {
    const uint32_t firstLength = loadU32BE(firstChunk);
    if (!chunkCrcMatches(firstChunk, firstLength)) return fail(kPngBadCrc);

    // Measure the run of consecutive IDAT chunks; the chunk that ends it must
    // at least lie within the file.
    uint64_t total = firstLength;
    uint32_t chunks = 1;
    const uint8_t* chunk = firstChunk + 12 + firstLength;
    for (;;) {
        const uint64_t left = static_cast<uint64_t>(input_.end - chunk);
        if (left < 12) return fail(kPngBadImageDataRun);
        const uint32_t length = loadU32BE(chunk);
        if ((length & 0x80000000u) || left - 12 < length) return fail(kPngBadImageDataRun);
        if (loadU32BE(chunk + 4) != kChunkIDAT) break;
        if (!chunkCrcMatches(chunk, length)) return fail(kPngBadImageDataRun);
        total += length;
        if (total >= (uint64_t{1} << 32)) return fail(kPngBadImageDataRun);
        ++chunks;
        chunk += 12 + length;
    }
    next = chunk;
    seenImageData_ = true;

    if (chunks == 1) return decodeImage(firstChunk + 8, firstLength);

    // Several chunks: join their data in one buffer.
    platform::PageBuffer joined;
    if (!joined.allocate(total + 4)) return fail(kStatusNoMemory);
    uint8_t* out = joined.data();
    for (const uint8_t* c = firstChunk; c != next;) {
        const uint32_t length = loadU32BE(c);
        std::memcpy(out, c + 8, length);
        out += length;
        c += 12 + length;
    }
    return decodeImage(joined.data(), static_cast<uint32_t>(total));
}

bool PngReader::decodeImage(const uint8_t* data, uint32_t length) {
    // Pixel buffer, alpha plane and the two row buffers; every size in 64 bits.
    stride_ = rowStride(width_, layout_.outputBits);
    const uint64_t pixelBytes = static_cast<uint64_t>(stride_) * static_cast<uint64_t>(height_);
    if (stride_ == 0 || pixelBytes >= (uint64_t{1} << 32)) return fail(kStatusUnsupported);
    if (!dataCanDescribe(length, pixelBytes, width_, height_, bitDepth_, layout_))
        return fail(kStatusUnsupported);
    if (!pixels_.allocate(pixelBytes + 4)) return fail(kStatusNoMemory);
    if (layout_.hasAlpha) {
        const uint64_t alphaBytes = static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_);
        if (alphaBytes >= (uint64_t{1} << 32)) return fail(kStatusUnsupported);
        if (!alphaPlane_.allocate(alphaBytes + 4)) return fail(kStatusNoMemory);
    }
    const uint64_t rowBytes =
        rowLength(static_cast<uint64_t>(width_), bitDepth_, layout_.filterBytesPerPixel);
    if (rowBytes >= (uint64_t{1} << 31)) return fail(kStatusUnsupported);
    fullRowLength_ = static_cast<uint32_t>(rowBytes);
    if (!rowBuffers_.allocate(2 * rowBytes)) return fail(kStatusNoMemory);

    InflateStream inflater;
    if (!inflater.init(data, length)) return fail(kPngInflateFailed);
    z_stream& stream = inflater.get();

    if (interlace_ == 0) {
        decodeRows(stream, static_cast<uint32_t>(width_), static_cast<uint32_t>(height_), 0, 1, 0,
                   1);
    } else {
        for (int pass = 0; pass < 7; ++pass) {
            const uint64_t columnIncrement = kPassColumnIncrement[pass];
            const uint64_t rowIncrement = kPassRowIncrement[pass];
            const uint64_t passWidth =
                (static_cast<uint64_t>(width_) + columnIncrement - kPassColumnStart[pass] - 1) /
                columnIncrement;
            const uint64_t passHeight =
                (static_cast<uint64_t>(height_) + rowIncrement - kPassRowStart[pass] - 1) /
                rowIncrement;
            if (passWidth == 0 || passHeight == 0) continue;
            if (decodeRows(stream, static_cast<uint32_t>(passWidth),
                           static_cast<uint32_t>(passHeight), kPassRowStart[pass],
                           kPassRowIncrement[pass], kPassColumnStart[pass],
                           kPassColumnIncrement[pass]) != RowsResult::Done)
                break;
        }
    }
    rowBuffers_.reset();
    return input_.status == kStatusOk;
}

PngReader::RowsResult PngReader::decodeRows(z_stream& stream, uint32_t passWidth,
                                            uint32_t passHeight, uint32_t firstRow,
                                            uint32_t rowIncrement, uint32_t firstColumn,
                                            uint32_t columnIncrement) {
    const uint32_t length =
        static_cast<uint32_t>(rowLength(passWidth, bitDepth_, layout_.filterBytesPerPixel));
    uint8_t* current = rowBuffers_.data();
    uint8_t* previous = current + fullRowLength_;
    std::memset(current, 0, 2 * static_cast<size_t>(fullRowLength_));

    const size_t pixelBytes = static_cast<size_t>(layout_.outputBits / 8);
    RowOutput out{};
    out.count = passWidth;
    out.columnStep = columnIncrement;
    out.bitDepth = bitDepth_;

    for (uint32_t k = 0; k < passHeight; ++k) {
        stream.next_out = current;
        stream.avail_out = length;
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END) {
            fail(kPngInflateFailed);
            return RowsResult::Failed;
        }
        // A row the stream did not fill keeps what the buffer held: the row above.
        if (stream.avail_out != 0)
            std::memcpy(current + (length - stream.avail_out),
                        previous + (length - stream.avail_out), stream.avail_out);

        // PNG rows run top-down, record rows bottom-up.
        const uint64_t pictureRow = firstRow + static_cast<uint64_t>(k) * rowIncrement;
        const uint64_t recordRow = static_cast<uint64_t>(height_) - 1 - pictureRow;
        out.pixels = pixels_.data() + recordRow * stride_ + firstColumn * pixelBytes;
        if (layout_.hasAlpha)
            out.alpha =
                alphaPlane_.data() + recordRow * static_cast<uint64_t>(width_) + firstColumn;

        const uint8_t filter = current[0];
        reconstruct_[filter <= 4 ? filter : 0](current + 1, previous + 1, length - 1);
        convert_(current + 1, out);
        if (result == Z_STREAM_END) return RowsResult::StreamEnd;
        std::swap(current, previous);
    }
    return RowsResult::Done;
}

bool PngReader::composite() {
    if (!layout_.hasAlpha && !tookTransparency_) return true;
    const Rgb background = tookBackground_ ? fileBackground_ : defaultBackground_;
    RgbQuad* palette = record_->palette;

    if (colourType_ == 0) {
        palette[transparentSample_.green] =
            RgbQuad{background.blue, background.green, background.red, 0};
        return true;
    }
    uint8_t* pixels = pixels_.data();
    if (colourType_ == 2) {
        const Rgb key = transparentSample_;
        for (int32_t y = 0; y < height_; ++y) {
            uint8_t* p = pixels + static_cast<uint64_t>(y) * stride_;
            for (int32_t x = 0; x < width_; ++x, p += 3) {
                if (p[0] == key.blue && p[1] == key.green && p[2] == key.red) {
                    p[0] = background.blue;
                    p[1] = background.green;
                    p[2] = background.red;
                }
            }
        }
        return true;
    }

    BlendTable blend;
    if (!blend.build()) return fail(kStatusNoMemory);
    if (colourType_ == 3) {
        for (int k = 0; k < 256; ++k) {
            const uint8_t a = paletteAlpha_[k];
            RgbQuad& entry = palette[k];
            entry.blue = blend.composite(a, entry.blue, background.blue);
            entry.green = blend.composite(a, entry.green, background.green);
            entry.red = blend.composite(a, entry.red, background.red);
        }
        return true;
    }

    const uint8_t* alpha = alphaPlane_.data();
    for (int32_t y = 0; y < height_; ++y) {
        uint8_t* p = pixels + static_cast<uint64_t>(y) * stride_;
        const uint8_t* a = alpha + static_cast<uint64_t>(y) * static_cast<uint64_t>(width_);
        if (colourType_ == 4) {
            // Gray indices are gray levels; blend them with the background's red.
            for (int32_t x = 0; x < width_; ++x) {
                if (a[x] != 255) p[x] = blend.composite(a[x], p[x], background.red);
            }
        } else {
            for (int32_t x = 0; x < width_; ++x, p += 3) {
                const uint8_t alphaValue = a[x];
                if (alphaValue == 255) continue;  // opaque: the blend keeps the sample
                const uint8_t* keep = blend.row(alphaValue);
                const uint8_t* back = blend.row(static_cast<uint8_t>(255 - alphaValue));
                p[0] = static_cast<uint8_t>(keep[p[0]] + back[background.blue]);
                p[1] = static_cast<uint8_t>(keep[p[1]] + back[background.green]);
                p[2] = static_cast<uint8_t>(keep[p[2]] + back[background.red]);
            }
        }
    }
    alphaPlane_.reset();
    return true;
}

void PngReader::settleTransparentColour() {
    hasTransparentColour_ = false;
    if (!tookTransparency_) return;
    const RgbQuad* palette = record_->palette;
    switch (colourType_) {
        case 3:
            for (int k = 0; k < 256; ++k) {
                if (paletteAlpha_[k] == 0) {
                    transparentColour_ = Rgb{palette[k].red, palette[k].green, palette[k].blue};
                    hasTransparentColour_ = true;
                    return;
                }
            }
            return;
        case 0: {
            // The transparent gray is a palette entry, now showing the background.
            // A sample beyond the bit depth matches no pixel.
            const uint8_t sample = transparentSample_.green;
            if (bitDepth_ < 8 && sample >= (1 << bitDepth_)) return;
            transparentColour_ =
                Rgb{palette[sample].red, palette[sample].green, palette[sample].blue};
            hasTransparentColour_ = true;
            return;
        }
        case 2:
            transparentColour_ = transparentSample_;
            hasTransparentColour_ = true;
            return;
        default:
            return;
    }
}
