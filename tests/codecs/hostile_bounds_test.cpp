// Every reader refuses (50002) a large picture that its file's data cannot
// describe, and still decodes large pictures that really are in the file and
// small truncated ones as before. Files are made here byte by byte (PNG, GIF,
// TIFF; a large GIF's data by the GIF writer's LZW coder) or with libjpeg
// itself, then given impossible frame sizes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codecs/gif/gif_lzw_encoder.h"
#include "codecs/gif/gif_reader.h"
#include "codecs/jpeg/jpeg_copy.h"
#include "codecs/jpeg/jpeg_memory_bound.h"
#include "codecs/jpeg/jpeg_reader.h"
#include "codecs/jpeg/jpeg_scan_limit.h"
#include "codecs/png/png_reader.h"
#include "codecs/tiff/tiff_reader.h"
#include "tests/support/temp_folder.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kOk = kStatusOk;
constexpr uint32_t kRefused = kStatusUnsupported;
constexpr uint32_t kLibraryError = 1;  // failed inside the library, any status

void putBE32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
void putLE16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void putLE32(Bytes& out, uint32_t v) {
    putLE16(out, v & 0xFFFF);
    putLE16(out, v >> 16);
}

// Reads a file with a reader and returns its status; pixels of a success are
// checked with `inspect` and released.
template <class Reader, class Inspect>
uint32_t readStatus(Reader& reader, const std::filesystem::path& file, Inspect inspect) {
    ImageRecord record{};
    ImageRecord* result = reader.read(u16(file).c_str(), &record);
    if (!result) {
        EXPECT_EQ(record.pixels, nullptr);
        return reader.status() == kOk ? 0 : reader.status();
    }
    inspect(record);
    releasePixelBuffer(record.pixels);
    return reader.status();
}
template <class Reader>
uint32_t readStatus(Reader& reader, const std::filesystem::path& file) {
    return readStatus(reader, file, [](const ImageRecord&) {});
}

// ------------------------------------------------------------------ PNG

void pngChunk(Bytes& out, const char* type, const Bytes& data) {
    putBE32(out, static_cast<uint32_t>(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    putBE32(out, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

Bytes pngFile(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour, uint8_t interlace,
              const Bytes& stream) {
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    putBE32(header, width);
    putBE32(header, height);
    header.insert(header.end(), {depth, colour, 0, 0, interlace});
    pngChunk(out, "IHDR", header);
    pngChunk(out, "IDAT", stream);
    pngChunk(out, "IEND", {});
    return out;
}

// A complete zlib stream of `rows` rows: filter byte 0 and `rowBytes` bytes
// of `value`, deflated row by row.
Bytes flatStream(uint32_t rowBytes, uint32_t rows, uint8_t value) {
    z_stream z{};
    EXPECT_EQ(deflateInit(&z, 9), Z_OK);
    Bytes row(rowBytes + 1, value);
    row[0] = 0;
    Bytes out(1 << 16);
    size_t used = 0;
    for (uint32_t y = 0; y <= rows; ++y) {
        const bool last = y == rows;
        z.next_in = last ? nullptr : row.data();
        z.avail_in = last ? 0 : static_cast<uInt>(row.size());
        do {
            if (out.size() - used < 4096) out.resize(out.size() * 2);
            z.next_out = out.data() + used;
            z.avail_out = static_cast<uInt>(out.size() - used);
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            used = out.size() - z.avail_out;
        } while (z.avail_in > 0 || (last && z.avail_out == 0));
    }
    deflateEnd(&z);
    out.resize(used);
    return out;
}

TEST(HostileBounds, PngRefusesPicturesItsDataCannotHold) {
    TempFolder folder;
    const Bytes oneRow = flatStream(64, 1, 7);  // a stream that ends properly, early
    struct Case {
        const char* name;
        uint32_t width, height;
        uint8_t depth, colour, interlace;
        uint32_t status;
    } cases[] = {
        {"gray 65535 x 65535", 65535, 65535, 8, 0, 0, kRefused},
        {"gray just above the threshold", 8200, 8200, 8, 0, 0, kRefused},
        {"gray at the threshold decodes", 8192, 8192, 8, 0, 0, kOk},
        {"1-bit 60000 x 60000", 60000, 60000, 1, 0, 0, kRefused},
        {"RGBA interlaced 20000 x 20000", 20000, 20000, 8, 6, 1, kRefused},
        {"16-bit RGB 5000 x 5000", 5000, 5000, 16, 2, 0, kRefused},
        {"small truncated RGB decodes", 300, 200, 8, 2, 0, kOk},
    };
    for (const Case& c : cases) {
        const auto file = folder.write(
            "p.png", pngFile(c.width, c.height, c.depth, c.colour, c.interlace, oneRow));
        PngReader reader;
        reader.setDefaultBackground(255, 255, 255);
        EXPECT_EQ(readStatus(reader, file), c.status) << c.name;
    }
}

TEST(HostileBounds, PngFlatPictureLargerThanTheThresholdStillDecodes) {
    // 8200 x 8200 gray: 67 MB of pixels in about 85 KB, near the bound.
    TempFolder folder;
    const Bytes stream = flatStream(8200, 8200, 200);
    EXPECT_LT(stream.size() * 500, uint64_t{8200} * 8200);
    const auto file = folder.write("flat.png", pngFile(8200, 8200, 8, 0, 0, stream));
    PngReader reader;
    reader.setDefaultBackground(255, 255, 255);
    EXPECT_EQ(readStatus(reader, file,
                         [](const ImageRecord& r) {
                             EXPECT_EQ(r.header.biWidth, 8200);
                             EXPECT_EQ(r.pixels[0], 200);
                             EXPECT_EQ(r.pixels[uint64_t{8200} * 8199 + 8199], 200);
                         }),
              kOk);
}

// ------------------------------------------------------------------ GIF

// A GIF with a two-colour table; by default its data (code size 2) is a
// clear code, two pixels and the end code.
Bytes gifFile(uint16_t screenWidth, uint16_t screenHeight, uint16_t width, uint16_t height,
              uint8_t codeSize = 2, const Bytes& data = {0x44, 0x01}) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    putLE16(out, screenWidth);
    putLE16(out, screenHeight);
    out.insert(out.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});
    out.push_back(0x2C);
    putLE16(out, 0);
    putLE16(out, 0);
    putLE16(out, width);
    putLE16(out, height);
    out.insert(out.end(), {0, codeSize});  // no flags
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + at, data.begin() + at + n);
    }
    out.insert(out.end(), {0, 0x3B});  // terminator, trailer
    return out;
}

TEST(HostileBounds, GifRefusesCanvasesItsDataCannotFill) {
    TempFolder folder;
    struct Case {
        const char* name;
        uint16_t screenWidth, screenHeight, width, height;
        uint32_t status;
    } cases[] = {
        {"65535 x 65535", 65535, 65535, 65535, 65535, kRefused},
        {"one pixel on a 9000 x 9000 screen", 9000, 9000, 1, 1, kRefused},
        {"one pixel on an 8000 x 8000 screen", 8000, 8000, 1, 1, kOk},
        {"small picture whose data ends early", 300, 200, 300, 200, kOk},
    };
    for (const Case& c : cases) {
        const auto file =
            folder.write("g.gif", gifFile(c.screenWidth, c.screenHeight, c.width, c.height));
        GifReader reader;
        EXPECT_EQ(readStatus(reader, file), c.status) << c.name;
    }
}

TEST(HostileBounds, GifFlatPictureLargerThanTheThresholdStillDecodes) {
    // 9000 x 9000 of one colour as the GIF writer's LZW coder codes it.
    const std::vector<uint8_t> indices(size_t{9000} * 9000, 1);
    const auto tables = std::make_unique<gif::LzwEncoderTables>();
    Bytes data(gif::lzwEncodedBound(indices.size()));
    gif::LzwEncoder encoder;
    encoder.begin(*tables, data.data());
    encoder.feed(indices.data(), indices.size());
    data.resize(encoder.finish());
    TempFolder folder;
    const auto file = folder.write("flat.gif", gifFile(9000, 9000, 9000, 9000, 8, data));
    GifReader reader;
    EXPECT_EQ(readStatus(reader, file,
                         [](const ImageRecord& r) {
                             EXPECT_EQ(r.header.biWidth, 9000);
                             EXPECT_EQ(r.pixels[0], 1);
                             EXPECT_EQ(r.pixels[uint64_t{9000} * 9000 - 1], 1);
                         }),
              kOk);
}

// ------------------------------------------------------------------ TIFF

// Little-endian 8-bit gray (black is zero): `data` at offset 8, then
// `strips` strips that all start at offset 8 with `stripBytes` bytes each.
Bytes overlappingTiff(uint32_t width, uint32_t height, const Bytes& data, uint32_t strips,
                      uint32_t stripBytes) {
    Bytes out = {'I', 'I', 42, 0};
    const uint32_t arrays = 8 + static_cast<uint32_t>(data.size());
    putLE32(out, arrays + 8 * strips);  // the directory follows both arrays
    out.insert(out.end(), data.begin(), data.end());
    for (uint32_t i = 0; i < strips; ++i) putLE32(out, 8);
    for (uint32_t i = 0; i < strips; ++i) putLE32(out, stripBytes);
    const uint32_t entries[][4] = {
        {256, 4, 1, width},
        {257, 4, 1, height},
        {258, 3, 1, 8},
        {259, 3, 1, 1},
        {262, 3, 1, 1},
        {273, 4, strips, arrays},
        {279, 4, strips, arrays + 4 * strips},
    };
    putLE16(out, 7);
    for (const auto& e : entries) {
        putLE16(out, e[0]);
        putLE16(out, e[1]);
        putLE32(out, e[2]);
        putLE32(out, e[3]);
    }
    putLE32(out, 0);
    return out;
}

TEST(HostileBounds, TiffCopiesOnlyTheBytesItsRowsNeed) {
    TempFolder folder;
    Bytes data(180000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 251);
    TiffReader reader;

    // 23,800 strips over the same 180,000 bytes claim 4.28 GB; one pixel is read.
    auto file = folder.write("one.tif", overlappingTiff(1, 1, data, 23800, 180000));
    EXPECT_EQ(readStatus(reader, file, [](const ImageRecord& r) { EXPECT_EQ(r.pixels[0], 0); }),
              kOk);

    // Small pictures may reuse strip data as before: every row is the same
    // 100 bytes.
    file = folder.write("small.tif", overlappingTiff(100, 100, data, 100, 100));
    EXPECT_EQ(readStatus(reader, file,
                         [](const ImageRecord& r) {
                             for (int y = 0; y < 100; ++y)
                                 EXPECT_EQ(std::memcmp(r.pixels + y * 100, r.pixels, 100), 0);
                             EXPECT_EQ(r.pixels[99], 99);
                         }),
              kOk);

    // A large picture made of the same strip again and again is refused.
    file = folder.write("large.tif", overlappingTiff(9000, 9000, data, 450, 180000));
    EXPECT_EQ(readStatus(reader, file), kRefused);
}

// ------------------------------------------------------------------ JPEG

// A flat gray or three-component JPEG made by libjpeg.
Bytes jpegFile(int width, int height, int components, bool progressive, bool arithmetic = false) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (progressive) jpeg_simple_progression(&cinfo);
    cinfo.arith_code = arithmetic;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width * components), 128);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    free(buffer);
    return out;
}

// The file with its frame header declaring another size.
Bytes withFrameSize(Bytes file, uint16_t width, uint16_t height) {
    for (size_t at = 2; at + 9 < file.size(); ++at) {
        if (file[at] == 0xFF && (file[at + 1] == 0xC0 || file[at + 1] == 0xC2)) {
            file[at + 5] = static_cast<uint8_t>(height >> 8);
            file[at + 6] = static_cast<uint8_t>(height);
            file[at + 7] = static_cast<uint8_t>(width >> 8);
            file[at + 8] = static_cast<uint8_t>(width);
            return file;
        }
    }
    ADD_FAILURE() << "no frame header";
    return file;
}

// The file with its last scan repeated `extra` more times.
Bytes withRepeatedScan(const Bytes& file, int extra) {
    size_t lastScan = 0;
    for (size_t at = 2; at + 1 < file.size(); ++at)
        if (file[at] == 0xFF && file[at + 1] == 0xDA) lastScan = at;
    const size_t end = file.size() - 2;
    Bytes out(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(end));
    for (int i = 0; i < extra; ++i)
        out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(lastScan),
                   file.begin() + static_cast<std::ptrdiff_t>(end));
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

TEST(HostileBounds, JpegRefusesPicturesItsFileCannotHold) {
    TempFolder folder;
    const Bytes progressive = jpegFile(16, 16, 3, true);
    const Bytes baseline = jpegFile(16, 16, 3, false);
    const Bytes grayProgressive = jpegFile(16, 16, 1, true);
    struct Case {
        const char* name;
        Bytes file;
        uint32_t readStatus;
        bool copies;
    } cases[] = {
        {"progressive 65500 x 65500", withFrameSize(progressive, 65500, 65500), kRefused, false},
        {"baseline 65500 x 65500", withFrameSize(baseline, 65500, 65500), kRefused, false},
        {"baseline 5000 x 5000", withFrameSize(baseline, 5000, 5000), kRefused, false},
        {"baseline 600 x 400 decodes (missing part filled)", withFrameSize(baseline, 600, 400), kOk,
         true},
        {"500 extra scans on 16 x 16 decode", withRepeatedScan(grayProgressive, 500), kOk, true},
        // Large flat pictures as libjpeg codes them fit every bound.
        {"flat baseline 5000 x 5000", jpegFile(5000, 5000, 3, false), kOk, true},
        {"flat progressive gray 5000 x 5000", jpegFile(5000, 5000, 1, true), kOk, true},
        {"flat arithmetic 5000 x 5000", jpegFile(5000, 5000, 3, false, true), kOk, true},
        // Refused by the scan monitor inside the library: a library error.
        {"500 extra scans on 4000 x 4000",
         withFrameSize(withRepeatedScan(grayProgressive, 500), 4000, 4000), kLibraryError, false},
    };
    for (const Case& c : cases) {
        const auto file = folder.write("j.jpg", c.file);
        JpegReader reader;
        const uint32_t status = readStatus(reader, file);
        if (c.readStatus == kLibraryError) {
            EXPECT_NE(status, kOk) << c.name;
            EXPECT_EQ(std::u16string(reader.messageText()), u"Too many scans in the JPEG file");
        } else {
            EXPECT_EQ(status, c.readStatus) << c.name;
        }
        JpegCopy copy;
        const bool copied = copy.transcode(u16(file).c_str(), u16(folder / "out.jpg").c_str());
        EXPECT_EQ(copied, c.copies) << c.name;
        if (!copied) {
            EXPECT_NE(copy.messageText()[0], u'\0') << c.name;
        }
    }
}

TEST(HostileBounds, JpegCoefficientBytesFollowTheLibrarysPadding) {
    // 33 x 17, 4:2:0: luma 5 x 3 blocks padded to 6 x 4, chroma 3 x 2 each.
    const Bytes file = jpegFile(33, 17, 3, false);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    EXPECT_EQ(jpegCoefficientBytes(cinfo), (24u + 6u + 6u) * 128u);
    jpeg_destroy_decompress(&cinfo);

    EXPECT_EQ(jpegScanVisitBudget(10), kJpegMinScanVisits);
    EXPECT_EQ(jpegScanVisitBudget(uint64_t{1} << 24), kJpegMaxScanPasses << 24);
}

}  // namespace
