// The TIFF reader against files written by independent tools (and by hand
// where the tools cannot), with pixels decoded by an independent decoder.
#include "codecs/tiff/tiff_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/platform.h"
#include "tests/codecs/tiff/tiff_test_support.h"

using namespace tifftest;

namespace {

// Frees the pixel buffer of a record the test owns.
struct RecordHolder {
    ImageRecord record{};
    ~RecordHolder() { releasePixelBuffer(record.pixels); }
};

struct Expected {
    std::string name;
    int width, height, bitCount, sourceBits, xPpm, yPpm;
};

std::vector<Expected> expectedFixtures() {
    std::ifstream in(dataFolder() / "expected.txt");
    std::vector<Expected> list;
    Expected e;
    while (in >> e.name >> e.width >> e.height >> e.bitCount >> e.sourceBits >> e.xPpm >> e.yPpm)
        list.push_back(e);
    return list;
}

std::u16string fixture(const std::string& name) {
    return (dataFolder() / (name + ".tif")).u16string();
}

TEST(TiffReader, EveryAcceptedFixtureMatchesTheIndependentDecoder) {
    auto fixtures = expectedFixtures();
    ASSERT_GE(fixtures.size(), 40u) << "expected.txt missing or short";
    TiffReader reader;  // one reader for all files: no state may leak between them
    for (const Expected& e : fixtures) {
        SCOPED_TRACE(e.name);
        RecordHolder holder;
        ImageRecord* result = reader.read(fixture(e.name).c_str(), &holder.record);
        ASSERT_EQ(result, &holder.record) << "status " << reader.status();
        const ImageRecord& r = holder.record;
        EXPECT_EQ(reader.status(), 50000u);
        EXPECT_EQ(r.header.biSize, 40u);
        EXPECT_EQ(r.header.biWidth, e.width);
        EXPECT_EQ(r.header.biHeight, e.height);
        EXPECT_EQ(r.header.biPlanes, 1);
        EXPECT_EQ(r.header.biBitCount, e.bitCount);
        EXPECT_EQ(r.header.biCompression, 0u);
        EXPECT_EQ(r.header.biSizeImage, 0u);
        EXPECT_EQ(r.header.biClrUsed, 0u);
        EXPECT_EQ(r.header.biClrImportant, 0u);
        EXPECT_EQ(r.header.biXPelsPerMeter, e.xPpm);
        EXPECT_EQ(r.header.biYPelsPerMeter, e.yPpm);
        EXPECT_EQ(r.sourceFormat, 4u);
        EXPECT_EQ(r.sourceBitsPerPixel, uint32_t(e.sourceBits));
        EXPECT_EQ(r.sourceFileSize, std::filesystem::file_size(dataFolder() / (e.name + ".tif")));
        EXPECT_NE(r.sourceModified, 0u);
        Bytes want = readBytes(dataFolder() / (e.name + ".rgb"));
        EXPECT_EQ(recordToRgb(r), want);
        EXPECT_TRUE(paddingIsZero(r)) << "row padding or spare bytes written";
        if (e.bitCount == 8) {
            // Entries the source does not define stay zero.
            int defined = 1 << e.sourceBits;
            for (int k = defined; k < 256; ++k) {
                const RgbQuad& q = r.palette[k];
                EXPECT_EQ(q.red | q.green | q.blue | q.reserved, 0) << "entry " << k;
            }
        }
    }
}

TEST(TiffReader, RefusesWhatItDoesNotDecodeWithTheRightStatus) {
    std::ifstream in(dataFolder() / "refused.txt");
    std::string name;
    uint32_t status;
    int count = 0;
    TiffReader reader;
    while (in >> name >> status) {
        SCOPED_TRACE(name);
        ImageRecord record{};
        record.pixels = reinterpret_cast<uint8_t*>(&record);  // must be cleared
        EXPECT_EQ(reader.read(fixture(name).c_str(), &record), nullptr);
        EXPECT_EQ(reader.status(), status);
        EXPECT_EQ(record.pixels, nullptr);
        ++count;
    }
    EXPECT_GE(count, 9);
}

TEST(TiffReader, BilevelPalettesFollowThePhotometricKind) {
    for (std::string order : {"le", "be"}) {
        TiffReader reader;
        RecordHolder white, black;
        ASSERT_TRUE(reader.read(fixture("hb_bilevel_wz_" + order).c_str(), &white.record));
        ASSERT_TRUE(reader.read(fixture("hb_bilevel_bz_" + order).c_str(), &black.record));
        const RgbQuad kWhite{255, 255, 255, 0}, kBlack{0, 0, 0, 0};
        EXPECT_EQ(std::memcmp(&white.record.palette[0], &kWhite, 4), 0);
        EXPECT_EQ(std::memcmp(&white.record.palette[1], &kBlack, 4), 0);
        EXPECT_EQ(std::memcmp(&black.record.palette[0], &kBlack, 4), 0);
        EXPECT_EQ(std::memcmp(&black.record.palette[1], &kWhite, 4), 0);
        // Same bits in both files: identical indices.
        size_t bytes = rowStride(13, 8) * 9;
        EXPECT_EQ(std::memcmp(white.record.pixels, black.record.pixels, bytes), 0);
    }
}

TEST(TiffReader, GrayLevelsAreEvenlySpaced) {
    TiffReader reader;
    RecordHolder white, black;
    ASSERT_TRUE(reader.read(fixture("gray4_wz_le").c_str(), &white.record));
    ASSERT_TRUE(reader.read(fixture("gray4_bz_be").c_str(), &black.record));
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(white.record.palette[k].green, 255 - 17 * k);
        EXPECT_EQ(black.record.palette[k].red, 17 * k);
    }
    RecordHolder gray8;
    ASSERT_TRUE(reader.read(fixture("gray8_wz_be").c_str(), &gray8.record));
    for (int k = 0; k < 256; ++k) EXPECT_EQ(gray8.record.palette[k].blue, 255 - k);
}

TEST(TiffReader, ColourMapEntriesAreTheHighBytes) {
    for (std::string order : {"le", "be"}) {
        TiffReader reader;
        RecordHolder holder;
        ASSERT_TRUE(reader.read(fixture("hb_palette1_" + order).c_str(), &holder.record));
        // Colour map: red 0x8000 0x20FF, green 0x1234 0xE0E0, blue 0x0000 0xFF00.
        const RgbQuad* p = holder.record.palette;
        EXPECT_EQ(p[0].red, 0x80);
        EXPECT_EQ(p[0].green, 0x12);
        EXPECT_EQ(p[0].blue, 0x00);
        EXPECT_EQ(p[1].red, 0x20);
        EXPECT_EQ(p[1].green, 0xE0);
        EXPECT_EQ(p[1].blue, 0xFF);
        EXPECT_EQ(p[2].red | p[2].green | p[2].blue, 0);
    }
}

TEST(TiffReader, MultiPageFileYieldsItsFirstPage) {
    TiffReader reader;
    RecordHolder holder;
    ASSERT_TRUE(reader.read(fixture("multipage_be").c_str(), &holder.record));
    EXPECT_EQ(holder.record.header.biWidth, 37);
    EXPECT_EQ(holder.record.header.biHeight, 23);
}

TEST(TiffReader, WithoutARecordOneIsAllocatedAndFreedOnFailure) {
    platform::PrivateHeap& heap = platform::privateHeap();
    size_t before = heap.liveBlocks();
    TiffReader reader;
    ImageRecord* r = reader.read(fixture("rgb8_le").c_str(), nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(heap.liveBlocks(), before + 1);
    EXPECT_EQ(r->header.biWidth, 37);
    releasePixelBuffer(r->pixels);
    heap.release(r);

    EXPECT_EQ(reader.read(fixture("lzw_le").c_str(), nullptr), nullptr);
    EXPECT_EQ(reader.read(u"/no/such/file.tif", nullptr), nullptr);
    EXPECT_EQ(heap.liveBlocks(), before);

    heap.refuseAfter(0);
    EXPECT_EQ(reader.read(fixture("rgb8_le").c_str(), nullptr), nullptr);
    EXPECT_EQ(reader.status(), 50001u);
    heap.refuseAfter(-1);
}

TEST(TiffReader, MissingOrEmptyFilesCannotBeOpened) {
    TiffReader reader;
    ImageRecord record{};
    auto missing = (std::filesystem::temp_directory_path() / "moravel_no_such.tif").u16string();
    EXPECT_EQ(reader.read(missing.c_str(), &record), nullptr);
    EXPECT_EQ(reader.status(), 50004u);
    TempFile empty(Bytes{});
    EXPECT_EQ(reader.read(empty.wide(), &record), nullptr);
    EXPECT_EQ(reader.status(), 50004u);
}

TEST(TiffReader, StatusAndRecordAreResetForEveryFile) {
    TiffReader reader;
    RecordHolder holder;
    ASSERT_TRUE(reader.read(fixture("palette8_le").c_str(), &holder.record));
    releasePixelBuffer(holder.record.pixels);
    holder.record.pixels = nullptr;
    EXPECT_EQ(reader.read(fixture("packbits_be").c_str(), &holder.record), nullptr);
    EXPECT_EQ(reader.status(), 50002u);
    // A failed read leaves no palette from the previous file behind.
    for (const RgbQuad& q : holder.record.palette) EXPECT_EQ(q.red | q.green | q.blue, 0);
    ASSERT_TRUE(reader.read(fixture("rgb16_be").c_str(), &holder.record));
    EXPECT_EQ(reader.status(), 50000u);
    EXPECT_EQ(holder.record.header.biBitCount, 24);
    EXPECT_EQ(holder.record.header.biXPelsPerMeter, 0);
}

}  // namespace
