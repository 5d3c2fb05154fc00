// Helpers shared by the TIFF reader tests: fixture paths, temporary files,
// a small builder for hand-made TIFF files and conversion of a decoded
// record back to top-down RGB for comparison.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/image_record.h"
#include "tests/support/temp_file.h"

namespace tifftest {

inline std::filesystem::path dataFolder() {
    return testDataFolder("tiff");
}

// Builds a TIFF file: a header, the appended data blocks, then one
// directory holding the entries in tag order. Entries can be replaced or
// removed to make hostile variants of a valid file.
class TiffBuilder {
  public:
    static constexpr uint16_t kShort = 3, kLong = 4, kRational = 5;

    explicit TiffBuilder(bool littleEndian) : le_(littleEndian) {
        data_ = {uint8_t(le_ ? 'I' : 'M'), uint8_t(le_ ? 'I' : 'M')};
        put16(data_, 42);
        put32(data_, 0);  // directory offset, patched by bytes()
    }

    // Appends raw bytes (kept at an even offset) and returns their offset.
    uint32_t append(const Bytes& block) {
        if (data_.size() % 2) data_.push_back(0);
        uint32_t offset = static_cast<uint32_t>(data_.size());
        data_.insert(data_.end(), block.begin(), block.end());
        return offset;
    }
    uint32_t append16(const std::vector<uint16_t>& values) {
        Bytes b;
        for (uint16_t v : values) put16(b, v);
        return append(b);
    }
    uint32_t append32(const std::vector<uint32_t>& values) {
        Bytes b;
        for (uint32_t v : values) put32(b, v);
        return append(b);
    }

    // An entry whose 4-byte value field holds one SHORT (first two bytes).
    void setShort(uint16_t tag, uint16_t value, uint32_t count = 1, uint16_t type = kShort) {
        Bytes field;
        put16(field, value);
        put16(field, 0);
        entries_[tag] = {type, count, field};
    }
    // An entry whose value field holds one LONG (or an offset).
    void setLong(uint16_t tag, uint32_t value, uint32_t count = 1, uint16_t type = kLong) {
        Bytes field;
        put32(field, value);
        entries_[tag] = {type, count, field};
    }
    void remove(uint16_t tag) { entries_.erase(tag); }
    // Puts the directory at this offset instead of after the data.
    void forceDirectoryOffset(uint32_t offset) { forcedOffset_ = offset; }

    Bytes bytes() const {
        Bytes file = data_;
        if (file.size() % 2) file.push_back(0);
        uint32_t offset = static_cast<uint32_t>(file.size());
        put16(file, static_cast<uint16_t>(entries_.size()));
        for (const auto& [tag, e] : entries_) {
            put16(file, tag);
            put16(file, e.type);
            put32(file, e.count);
            file.insert(file.end(), e.field.begin(), e.field.end());
        }
        put32(file, 0);
        Bytes header;
        put32(header, forcedOffset_ ? forcedOffset_ : offset);
        std::copy(header.begin(), header.end(), file.begin() + 4);
        return file;
    }

    bool littleEndian() const { return le_; }
    void put16(Bytes& b, uint16_t v) const {
        if (le_)
            b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
        else
            b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)});
    }
    void put32(Bytes& b, uint32_t v) const {
        if (le_)
            b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
        else
            b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    }

  private:
    struct Entry {
        uint16_t type;
        uint32_t count;
        Bytes field;
    };
    bool le_;
    Bytes data_;
    std::map<uint16_t, Entry> entries_;
    uint32_t forcedOffset_ = 0;
};

// Tag numbers used by the tests.
enum : uint16_t {
    kWidth = 256,
    kLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kStripOffsets = 273,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kStripByteCounts = 279,
    kXResolution = 282,
    kYResolution = 283,
    kPlanar = 284,
    kResolutionUnit = 296,
    kColorMap = 320,
};

// A valid 8-bit-per-sample RGB file of the given size whose pixel (x, y)
// has red x, green y and blue x + y, in one strip.
inline TiffBuilder rgbFile(bool littleEndian, uint16_t width, uint16_t height) {
    TiffBuilder b(littleEndian);
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.insert(pixels.end(), {uint8_t(x), uint8_t(y), uint8_t(x + y)});
    uint32_t strip = b.append(pixels);
    uint32_t bits = b.append16({8, 8, 8});
    b.setShort(kWidth, width);
    b.setShort(kLength, height);
    b.setLong(kBitsPerSample, bits, 3, TiffBuilder::kShort);
    b.setShort(kCompression, 1);
    b.setShort(kPhotometric, 2);
    b.setLong(kStripOffsets, strip);
    b.setShort(kSamplesPerPixel, 3);
    b.setShort(kRowsPerStrip, height);
    b.setLong(kStripByteCounts, static_cast<uint32_t>(pixels.size()));
    return b;
}

// A valid 8-bit black-is-zero grayscale file whose row bytes are given.
inline TiffBuilder grayFile(bool littleEndian, uint16_t width, uint16_t height, int bits,
                            const Bytes& rows, int photometric = 1) {
    TiffBuilder b(littleEndian);
    uint32_t strip = b.append(rows);
    b.setShort(kWidth, width);
    b.setShort(kLength, height);
    b.setShort(kBitsPerSample, static_cast<uint16_t>(bits));
    b.setShort(kCompression, 1);
    b.setShort(kPhotometric, static_cast<uint16_t>(photometric));
    b.setLong(kStripOffsets, strip);
    b.setShort(kRowsPerStrip, height);
    b.setLong(kStripByteCounts, static_cast<uint32_t>(rows.size()));
    return b;
}

// The record's picture as top-down rows of red, green, blue bytes.
inline Bytes recordToRgb(const ImageRecord& r) {
    const int w = r.header.biWidth, h = r.header.biHeight, bits = r.header.biBitCount;
    const uint32_t stride = rowStride(w, bits);
    Bytes out;
    out.reserve(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = r.pixels + size_t(h - 1 - y) * stride;
        for (int x = 0; x < w; ++x) {
            if (bits == 8) {
                const RgbQuad& q = r.palette[row[x]];
                out.insert(out.end(), {q.red, q.green, q.blue});
            } else {
                out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
            }
        }
    }
    return out;
}

// True when every byte after the pixels of each row (the row padding) and
// the four spare bytes after the last row are zero.
inline bool paddingIsZero(const ImageRecord& r) {
    const int w = r.header.biWidth, h = r.header.biHeight, bits = r.header.biBitCount;
    const uint32_t stride = rowStride(w, bits);
    const uint32_t used = uint32_t(w) * (bits / 8);
    for (int y = 0; y < h; ++y)
        for (uint32_t i = used; i < stride; ++i)
            if (r.pixels[size_t(y) * stride + i] != 0) return false;
    for (int i = 0; i < 4; ++i)
        if (r.pixels[size_t(h) * stride + i] != 0) return false;
    return true;
}

}  // namespace tifftest
