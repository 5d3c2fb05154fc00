#include "codecs/png/png_writer.h"

#include <zlib.h>

#include <cstring>
#include <utility>

#include "codecs/png/chunk_crc.h"
#include "codecs/png/filter_chooser.h"
#include "codecs/png/png_filters.h"
#include "codecs/png/png_zlib.h"
#include "core/byte_order.h"
#include "imaging/color_reducer_nearest.h"
#include "platform/owned_memory.h"

using namespace png;

namespace {

constexpr int32_t kMaximumWidth = 89478485;  // 0x5555555: 3 x width + 1 stays far inside 32 bits
constexpr uint32_t kMaximumChunkData = 0x7FFFFFFFu;

// Bytes of one row, filter byte included: packed indices of a palette image
// at its bit depth, or three bytes per pixel for truecolour.
uint64_t outputRowLength(uint64_t width, int colourType, int depth) {
    if (colourType == 2) return 3 * width + 1;
    switch (depth) {
        case 1:
            return (width + 7) / 8 + 1;
        case 2:
            return (width + 3) / 4 + 1;
        case 4:
            return (width + 1) / 2 + 1;
        default:
            return width + 1;
    }
}

// The zlib stream of one write, ended when the object goes away.
class DeflateStream {
  public:
    DeflateStream() { std::memset(&stream_, 0, sizeof stream_); }
    ~DeflateStream() {
        if (initialised_) deflateEnd(&stream_);
    }
    bool init(int strategy) {
        useHeapAllocator(stream_);
        initialised_ = deflateInit2(&stream_, 9, Z_DEFLATED, 15, 9, strategy) == Z_OK;
        return initialised_;
    }
    z_stream& get() { return stream_; }

  private:
    z_stream stream_;
    bool initialised_ = false;
};

}  // namespace

// Writes chunks (length, type, data, CRC) to the output file and remembers
// whether every write went through.
class PngWriter::ChunkSink {
  public:
    explicit ChunkSink(platform::File& file) : file_(file) {}

    void raw(const void* data, size_t size) {
        if (ok_ && size != 0) ok_ = file_.write(data, size);
    }
    void chunk(uint32_t type, const uint8_t* data, uint32_t length) {
        uint8_t head[8];
        storeU32BE(head, length);
        storeU32BE(head + 4, type);
        uint32_t crc = updateCrc(0xFFFFFFFFu, head + 4, 4);
        crc = ~updateCrc(crc, data, length);
        uint8_t tail[4];
        storeU32BE(tail, crc);
        raw(head, 8);
        raw(data, length);
        raw(tail, 4);
    }
    bool ok() const { return ok_; }

  private:
    platform::File& file_;
    bool ok_ = true;
};

bool PngWriter::write(const char16_t* path, const PictureToWrite& picture) {
    status_ = kStatusOk;
    bitDepth_ = colourType_ = paletteCount_ = 0;
    rowLength_ = 0;

    if (picture.width > kMaximumWidth) return fail(kStatusOutputError), false;
    if (picture.width <= 0 || picture.height <= 0 || !picture.pixels ||
        (picture.currentBitCount == 8 && !picture.palette))
        return fail(kStatusUnsupported), false;

    platform::File file;
    if (!file.create(path)) return fail(kStatusOutputError), false;
    ChunkSink sink(file);

    // Image type from the output depth.
    const uint32_t outputBits = picture.loadedBitCount;
    if (outputBits == 24) {
        bitDepth_ = 8;
        colourType_ = 2;
    } else if (outputBits == 1 || outputBits == 2 || outputBits == 4 || outputBits == 8) {
        bitDepth_ = static_cast<int>(outputBits);
        colourType_ = 3;
    } else {
        return fail(kStatusReducerFailed), false;
    }
    const uint64_t rowLength =
        outputRowLength(static_cast<uint64_t>(picture.width), colourType_, bitDepth_);
    const uint64_t imageSize = rowLength * static_cast<uint64_t>(picture.height);
    if (imageSize > UINT32_MAX) return fail(kStatusOutputError), false;
    rowLength_ = static_cast<uint32_t>(rowLength);

    // Signature, IHDR and pHYs.
    sink.raw(kSignature, sizeof kSignature);
    uint8_t header[13];
    storeU32BE(header, static_cast<uint32_t>(picture.width));
    storeU32BE(header + 4, static_cast<uint32_t>(picture.height));
    header[8] = static_cast<uint8_t>(bitDepth_);
    header[9] = static_cast<uint8_t>(colourType_);
    header[10] = header[11] = header[12] = 0;
    sink.chunk(kChunkIHDR, header, 13);
    if (picture.horizontalResolution > 0 && picture.verticalResolution > 0) {
        uint8_t phys[9];
        storeU32BE(phys, static_cast<uint32_t>(picture.horizontalResolution));
        storeU32BE(phys + 4, static_cast<uint32_t>(picture.verticalResolution));
        phys[8] = 1;  // metre
        sink.chunk(kChunkPHYS, phys, 9);
    }

    // The filtered image followed by the six row buffers, all zero.
    platform::PageBuffer buffer;
    if (!buffer.allocate(imageSize + 6 * rowLength + 4)) return fail(kStatusNoMemory), false;
    uint8_t* imageData = buffer.data();
    const bool written = colourType_ == 2
                             ? writeTruecolour(sink, picture, imageData, imageData + imageSize)
                             : writePalette(sink, picture, imageData);
    if (!written || !compress(sink, imageData, static_cast<uint32_t>(imageSize))) return false;

    sink.chunk(kChunkIEND, nullptr, 0);
    // Data the system still held can fail to reach the disk only at close.
    if (!file.closeChecked() || !sink.ok()) return fail(kStatusOutputError), false;
    return true;
}

bool PngWriter::writeTruecolour(ChunkSink& sink, const PictureToWrite& picture, uint8_t* imageData,
                                uint8_t* rowBuffers) {
    const uint32_t width = static_cast<uint32_t>(picture.width);
    const uint32_t height = static_cast<uint32_t>(picture.height);

    // An 8-bit picture is widened first.
    const uint8_t* source = picture.pixels;
    platform::PageBuffer widened;
    if (picture.currentBitCount == 8) {
        reducer_.configure(picture.width, picture.height, 8, 24);
        if (reducer_.targetImageSize() == 0) return fail(kStatusReducerFailed), false;
        if (!widened.allocate(static_cast<uint64_t>(reducer_.targetImageSize()) + 4))
            return fail(kStatusNoMemory), false;
        RgbQuad unusedPalette[256] = {};
        if (!reducer_.convertPacked(picture.palette, picture.pixels, unusedPalette, widened.data()))
            return fail(kStatusReducerFailed), false;
        source = widened.data();
    } else if (picture.currentBitCount != 24) {
        return fail(kStatusReducerFailed), false;
    }
    const uint64_t stride = rowStride(width, 24);

    if (picture.transparent && picture.transparentRgb) {
        const uint8_t* rgb = picture.transparentRgb;
        const uint8_t colour[6] = {0, rgb[0], 0, rgb[1], 0, rgb[2]};
        sink.chunk(kChunkTRNS, colour, 6);
        sink.chunk(kChunkBKGD, colour, 6);
    }

    FilterRows rows{};
    uint8_t* previous = rowBuffers;
    uint8_t* raw = rowBuffers + rowLength_;
    rows.sub = rowBuffers + 2 * static_cast<size_t>(rowLength_);
    rows.up = rows.sub + rowLength_;
    rows.average = rows.up + rowLength_;
    rows.paeth = rows.average + rowLength_;

    uint8_t* out = imageData;
    for (uint32_t y = 0; y < height; ++y) {
        // Picture rows run top-down; the buffer holds them bottom-up as BGR.
        const uint8_t* bgr = source + static_cast<uint64_t>(height - 1 - y) * stride;
        uint8_t* rgb = raw + 1;
        for (uint32_t x = 0; x < width; ++x, bgr += 3, rgb += 3) {
            rgb[0] = bgr[2];
            rgb[1] = bgr[1];
            rgb[2] = bgr[0];
        }
        rows.raw = raw;
        rows.previous = previous;
        const int filter = chooseFilter(rows, rowLength_, 3);
        std::memcpy(out, candidateFor(rows, filter), rowLength_);
        out += rowLength_;
        std::swap(raw, previous);
    }
    return true;
}

bool PngWriter::writePalette(ChunkSink& sink, const PictureToWrite& picture, uint8_t* imageData) {
    const uint32_t width = static_cast<uint32_t>(picture.width);
    const uint32_t height = static_cast<uint32_t>(picture.height);

    // One index byte per pixel from the reducer (at most 256 colours).
    RgbQuad palette[256] = {};
    reducer_.configure(picture.width, picture.height, static_cast<int32_t>(picture.currentBitCount),
                       8);
    if (reducer_.targetImageSize() == 0) return fail(kStatusReducerFailed), false;
    platform::PageBuffer converted;
    if (!converted.allocate(static_cast<uint64_t>(reducer_.targetImageSize()) + 4))
        return fail(kStatusNoMemory), false;
    if (!reducer_.convertPacked(picture.palette, picture.pixels, palette, converted.data()))
        return fail(kStatusReducerFailed), false;
    const uint64_t stride = static_cast<uint64_t>(reducer_.targetStride());
    uint8_t* indices = converted.data();

    // Below 8 bits every index must fit in the depth.
    const int entries = 1 << bitDepth_;
    if (bitDepth_ < 8) {
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* row = indices + y * stride;
            for (uint32_t x = 0; x < width; ++x)
                if (row[x] >= entries) return fail(kStatusReducerFailed), false;
        }
    }

    // Compaction: repeated colours map to their first entry. Unfilled entries
    // are black, so a picture with fewer colours gains one black entry.
    uint8_t map[256];
    RgbQuad compact[256];
    if (bitDepth_ == 1) {
        compact[0] = palette[0];
        compact[1] = palette[1];
        map[0] = 0;
        map[1] = 1;
        paletteCount_ = 2;
    } else {
        paletteCount_ = 0;
        for (int k = 0; k < entries; ++k) {
            int found = -1;
            for (int j = 0; j < paletteCount_ && found < 0; ++j) {
                if (compact[j].blue == palette[k].blue && compact[j].green == palette[k].green &&
                    compact[j].red == palette[k].red)
                    found = j;
            }
            if (found < 0) {
                found = paletteCount_++;
                compact[found] = palette[k];
            }
            map[k] = static_cast<uint8_t>(found);
        }
    }

    uint8_t plte[256 * 3];
    for (int k = 0; k < paletteCount_; ++k) {
        plte[3 * k] = compact[k].red;
        plte[3 * k + 1] = compact[k].green;
        plte[3 * k + 2] = compact[k].blue;
    }
    sink.chunk(kChunkPLTE, plte, static_cast<uint32_t>(paletteCount_ * 3));

    if (picture.transparent && picture.transparentRgb) {
        // The entry of exactly that colour, else the nearest (first on ties).
        const int transparent =
            reducer::nearestPaletteIndex(compact, paletteCount_, picture.transparentRgb[0],
                                         picture.transparentRgb[1], picture.transparentRgb[2]);
        uint8_t alpha[256];
        std::memset(alpha, 255, sizeof alpha);
        alpha[transparent] = 0;
        sink.chunk(kChunkTRNS, alpha, static_cast<uint32_t>(transparent + 1));
        const uint8_t index = static_cast<uint8_t>(transparent);
        sink.chunk(kChunkBKGD, &index, 1);
    }

    // Rows top to bottom, filter None, indices packed most significant first.
    uint8_t* out = imageData;
    const int perByte = 8 / bitDepth_;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = indices + static_cast<uint64_t>(height - 1 - y) * stride;
        *out++ = kFilterNone;
        if (bitDepth_ == 8) {
            for (uint32_t x = 0; x < width; ++x) out[x] = map[row[x]];
            out += width;
            continue;
        }
        for (uint32_t x = 0; x < width; x += perByte) {
            uint8_t byte = 0;
            for (int k = 0; k < perByte; ++k) {
                const uint8_t index = x + k < width ? map[row[x + k]] : 0;
                byte = static_cast<uint8_t>(byte | index << (8 - bitDepth_ * (k + 1)));
            }
            *out++ = byte;
        }
    }
    return true;
}

bool PngWriter::compress(ChunkSink& sink, const uint8_t* imageData, uint32_t size) {
    DeflateStream deflater;
    if (!deflater.init(colourType_ == 2 ? Z_FILTERED : Z_DEFAULT_STRATEGY))
        return fail(kPngDeflateFailed), false;
    z_stream& stream = deflater.get();
    const uint64_t bound = deflateBound(&stream, size);
    if (bound < size) return fail(kStatusOutputError), false;  // wrapped in a 32-bit uLong
    platform::PageBuffer output;
    if (!output.allocate(bound + 4)) return fail(kStatusNoMemory), false;
    stream.next_in = const_cast<Bytef*>(imageData);
    stream.avail_in = size;
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(bound);
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) return fail(kPngDeflateFailed), false;

    // One IDAT; only a stream beyond the chunk size limit is split.
    const uint64_t produced = stream.total_out;
    uint64_t at = 0;
    do {
        const uint64_t left = produced - at;
        const uint32_t length =
            static_cast<uint32_t>(left < kMaximumChunkData ? left : kMaximumChunkData);
        sink.chunk(kChunkIDAT, output.data() + at, length);
        at += length;
    } while (at < produced);
    return true;
}
