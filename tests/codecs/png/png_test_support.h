// Helpers shared by the PNG tests: fixture paths, expected records, temporary
// files and a small chunk builder for hand-made (often broken) files.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/crc32.h"
#include "core/image_record.h"
#include "tests/support/temp_file.h"

namespace pngtest {

inline std::filesystem::path dataDir() {
    return testDataFolder("png");
}

// A decoded record whose pixel buffer is released with it.
struct RecordHolder {
    ImageRecord record{};
    ~RecordHolder() { releasePixelBuffer(record.pixels); }
};

// The expected result written by tests/data/png/make_fixtures.py.
struct ExpectedRecord {
    uint32_t width = 0, height = 0, bitCount = 0;
    int32_t resolutionX = 0, resolutionY = 0;
    uint32_t sourceBitsPerPixel = 0;
    bool transparent = false;
    uint8_t red = 0, green = 0, blue = 0;
    Bytes palette;  // 1024 bytes
    Bytes pixels;   // stride * height

    bool load(const std::filesystem::path& path) {
        Bytes b = readBytes(path);
        if (b.size() < 32 + 1024 || std::memcmp(b.data(), "MREC", 4) != 0) return false;
        auto u32 = [&](size_t at) {
            uint32_t v;
            std::memcpy(&v, b.data() + at, 4);
            return v;
        };
        width = u32(4);
        height = u32(8);
        bitCount = u32(12);
        resolutionX = static_cast<int32_t>(u32(16));
        resolutionY = static_cast<int32_t>(u32(20));
        sourceBitsPerPixel = u32(24);
        transparent = b[28] != 0;
        red = b[29];
        green = b[30];
        blue = b[31];
        palette.assign(b.begin() + 32, b.begin() + 32 + 1024);
        pixels.assign(b.begin() + 32 + 1024, b.end());
        return pixels.size() ==
               static_cast<size_t>(rowStride(width, static_cast<int>(bitCount))) * height;
    }
};

// Builds PNG files chunk by chunk.
class PngBuilder {
  public:
    PngBuilder() { bytes_.assign({0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}); }

    PngBuilder& chunk(const char* type, const Bytes& data) {
        Bytes body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        putU32(bytes_, static_cast<uint32_t>(data.size()));
        bytes_.insert(bytes_.end(), body.begin(), body.end());
        putU32(bytes_, crc32Table().of(body.data(), body.size()));
        return *this;
    }
    PngBuilder& header(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType,
                       uint8_t interlace = 0, uint8_t compression = 0, uint8_t filter = 0) {
        Bytes data;
        putU32(data, width);
        putU32(data, height);
        data.insert(data.end(), {depth, colourType, compression, filter, interlace});
        return chunk("IHDR", data);
    }
    PngBuilder& end() { return chunk("IEND", {}); }
    PngBuilder& raw(const Bytes& bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Bytes& bytes() { return bytes_; }

    static void putU32(Bytes& out, uint32_t v) {
        out.insert(out.end(), {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                               static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
    }

  private:
    Bytes bytes_;
};

inline Bytes compress(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
    out.resize(size);
    return out;
}

// Offset of the first chunk of a type, or 0.
inline size_t findChunk(const Bytes& file, const char* type, size_t from = 8) {
    for (size_t at = from; at + 12 <= file.size();) {
        uint32_t length = static_cast<uint32_t>(file[at]) << 24 | file[at + 1] << 16 |
                          file[at + 2] << 8 | file[at + 3];
        if (std::memcmp(&file[at + 4], type, 4) == 0) return at;
        at += 12 + static_cast<size_t>(length);
    }
    return 0;
}

}  // namespace pngtest

namespace pngtest {

struct Chunk {
    std::string type;
    Bytes data;
};

// The chunks after the signature, in file order.
inline std::vector<Chunk> parseChunks(const Bytes& file) {
    std::vector<Chunk> chunks;
    for (size_t at = 8; at + 12 <= file.size();) {
        uint32_t length = static_cast<uint32_t>(file[at]) << 24 | file[at + 1] << 16 |
                          file[at + 2] << 8 | file[at + 3];
        if (at + 12 + length > file.size()) break;
        Chunk c;
        c.type.assign(reinterpret_cast<const char*>(&file[at + 4]), 4);
        c.data.assign(file.begin() + static_cast<long>(at) + 8,
                      file.begin() + static_cast<long>(at) + 8 + length);
        chunks.push_back(c);
        at += 12 + static_cast<size_t>(length);
    }
    return chunks;
}

inline Bytes inflateAll(const Bytes& stream) {
    z_stream z{};
    inflateInit(&z);
    Bytes out;
    uint8_t buffer[16384];
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        result = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
    }
    inflateEnd(&z);
    return out;
}

}  // namespace pngtest
