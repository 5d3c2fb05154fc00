#include "codecs/bmp/bmp_reader.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "tests/codecs/bmp/bmp_test_util.h"

using namespace bmptest;

namespace {

struct Decoded {
    ImageRecord record{};
    uint32_t status = 0;
    bool ok = false;
    Decoded() = default;
    Decoded(const Decoded&) = delete;
    ~Decoded() { releasePixelBuffer(record.pixels); }
    size_t stride() const {
        return (size_t(record.header.biWidth) * (record.header.biBitCount / 8) + 3) & ~size_t{3};
    }
    size_t size() const { return stride() * record.header.biHeight; }
};

void readPath(const fs::path& path, Decoded& out) {
    BmpReader reader;
    out.ok = reader.read(u16(path).c_str(), &out.record) == &out.record;
    out.status = reader.status();
}

void readBytesAsFile(const std::vector<uint8_t>& bytes, Decoded& out) {
    TempFile file("hostile");
    writeBytes(file.path(), bytes);
    readPath(file.path(), out);
}

// A 4 x 2 8-bit file: a full table, then rows of 4 bytes.
std::vector<uint8_t> small8Bit(uint32_t clrUsed = 0, uint32_t tableEntries = 256) {
    BmpFields s;
    s.bits = 8;
    s.clrUsed = clrUsed;
    s.offBits = 54 + 4 * tableEntries;
    for (uint32_t i = 0; i < tableEntries; ++i)
        s.body.insert(s.body.end(), {uint8_t(i), uint8_t(i / 2), uint8_t(255 - i), 0});
    s.body.insert(s.body.end(), {1, 2, 3, 4, 5, 6, 7, 8});
    return buildBmp(s);
}

}  // namespace

class BmpFixture : public testing::TestWithParam<std::pair<const char*, int>> {};

// Every accepted depth decodes to exactly the pixels and palette that the
// fixture generator recorded from its independent tools.
TEST_P(BmpFixture, DecodesExactly) {
    const std::string name = GetParam().first;
    const int sourceBits = GetParam().second;
    Decoded d;
    readPath(dataDir() / (name + ".bmp"), d);
    ASSERT_TRUE(d.ok) << "status " << d.status;
    EXPECT_EQ(d.status, 50000u);
    const BitmapInfoHeader& h = d.record.header;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 13);
    EXPECT_EQ(h.biHeight, 7);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_EQ(d.record.sourceFormat, uint32_t(kFormatBmp));
    EXPECT_EQ(d.record.sourceBitsPerPixel, uint32_t(sourceBits));
    EXPECT_EQ(d.record.sourceFileSize, fs::file_size(dataDir() / (name + ".bmp")));
    EXPECT_NE(d.record.sourceModified, 0u);
    EXPECT_EQ(h.biBitCount, sourceBits <= 8 ? 8 : 24);

    std::vector<uint8_t> expected = readBytes(dataDir() / (name + ".expected"));
    ASSERT_EQ(expected.size(), d.size());
    EXPECT_EQ(0, std::memcmp(expected.data(), d.record.pixels, expected.size()));
    if (sourceBits <= 8) {
        std::vector<uint8_t> palette = readBytes(dataDir() / (name + ".palette"));
        ASSERT_EQ(palette.size(), 1024u);
        EXPECT_EQ(0, std::memcmp(palette.data(), d.record.palette, 1024));
    }
}

INSTANTIATE_TEST_SUITE_P(AcceptedDepths, BmpFixture,
                         testing::Values(std::pair{"bw1", 1}, std::pair{"bw1_clrused0", 1},
                                         std::pair{"colour1", 1}, std::pair{"pal4", 4},
                                         std::pair{"pal8", 8}, std::pair{"gray8", 8},
                                         std::pair{"rgb24", 24}, std::pair{"rgb24_v5", 24},
                                         std::pair{"rgb555", 16}, std::pair{"rgb565", 16},
                                         std::pair{"rgba32", 32}, std::pair{"argb32", 32}),
                         [](const auto& info) { return std::string(info.param.first); });

TEST(BmpReader, OneBitTableWithoutCountGivesTwoEntriesAnd254Zeros) {
    Decoded d;
    readPath(dataDir() / "colour1.bmp", d);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.record.palette[0].red, 10);
    EXPECT_EQ(d.record.palette[1].red, 200);
    EXPECT_EQ(d.record.palette[1].reserved, 7);
    for (int i = 2; i < 256; ++i) {
        const RgbQuad& q = d.record.palette[i];
        EXPECT_EQ(q.blue | q.green | q.red | q.reserved, 0) << i;
    }
}

TEST(BmpReader, SixteenBitFiveSixFiveScalesGreenBySixBits) {
    // One row of 2 pixels: green 63 and green 32, masks 5-6-5.
    BmpFields s;
    s.bits = 16;
    s.width = 2;
    s.height = 1;
    s.compression = 3;
    s.offBits = 66;
    s.body = {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};  // masks red, green, blue
    s.body.insert(s.body.end(), {0xE0, 0x07, 0x00, 0x04});      // 0x07E0, 0x0400
    Decoded d;
    readBytesAsFile(buildBmp(s), d);
    ASSERT_TRUE(d.ok) << d.status;
    EXPECT_EQ(d.record.pixels[1], 255);
    EXPECT_EQ(d.record.pixels[4], 129);
    EXPECT_EQ(d.record.pixels[0] | d.record.pixels[2] | d.record.pixels[3] | d.record.pixels[5], 0);
}

TEST(BmpReader, RefusesTopDownAndRunLength) {
    for (const char* name : {"topdown24", "rle8", "rle4"}) {
        Decoded d;
        readPath(dataDir() / (std::string(name) + ".bmp"), d);
        EXPECT_FALSE(d.ok) << name;
        EXPECT_EQ(d.status, 50002u) << name;
        EXPECT_EQ(d.record.pixels, nullptr);
    }
}

TEST(BmpReader, RefusesTruncatedEightBit) {
    Decoded d;
    readPath(dataDir() / "trunc8.bmp", d);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.status, 50004u);
    EXPECT_EQ(d.record.pixels, nullptr);
}

TEST(BmpReader, MissingEmptyAndShortFiles) {
    Decoded missing;
    readPath(dataDir() / "no_such_file.bmp", missing);
    EXPECT_EQ(missing.status, 50004u);
    Decoded folder;
    readPath(dataDir(), folder);
    EXPECT_EQ(folder.status, 50004u);
    Decoded empty;
    readBytesAsFile({}, empty);
    EXPECT_EQ(empty.status, 50004u);
    std::vector<uint8_t> bytes = small8Bit();
    bytes.resize(53);
    Decoded shortFile;
    readBytesAsFile(bytes, shortFile);
    EXPECT_EQ(shortFile.status, 50004u);
    EXPECT_FALSE(shortFile.ok);
}

TEST(BmpReader, PixelOffsetBeyondTheEndIsRefused) {
    std::vector<uint8_t> bytes = small8Bit();
    putU32(bytes, 10, uint32_t(bytes.size() + 1));
    Decoded d;
    readBytesAsFile(bytes, d);
    EXPECT_EQ(d.status, 50004u);
    putU32(bytes, 10, 0xFFFFFFFF);
    Decoded far;
    readBytesAsFile(bytes, far);
    EXPECT_EQ(far.status, 50004u);
}

TEST(BmpReader, EightBitRowsPastTheEndReadAsIndexZero) {
    // Table and full image fit after offset 54, but the pixels start 4 bytes
    // further on: the first row is the file's last row bytes, the rest zero.
    std::vector<uint8_t> bytes = small8Bit();
    putU32(bytes, 10, 54 + 1024 + 4);
    Decoded d;
    readBytesAsFile(bytes, d);
    ASSERT_TRUE(d.ok) << d.status;
    const uint8_t expected[8] = {5, 6, 7, 8, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(d.record.pixels, expected, 8));
}

TEST(BmpReader, RejectsBadGeometryDepthAndCompression) {
    struct Case {
        int32_t width, height;
        uint16_t bits;
        uint32_t compression;
    } cases[] = {{0, 2, 24, 0}, {-4, 2, 24, 0}, {4, 0, 24, 0}, {4, -2, 24, 0}, {4, 2, 2, 0},
                 {4, 2, 0, 0},  {4, 2, 64, 0},  {4, 2, 8, 3},  {4, 2, 24, 3},  {4, 2, 8, 1},
                 {4, 2, 4, 2},  {4, 2, 32, 6},  {4, 2, 16, 4}, {4, 2, 32, 1}};
    for (const Case& c : cases) {
        BmpFields s;
        s.width = c.width;
        s.height = c.height;
        s.bits = c.bits;
        s.compression = c.compression;
        s.body.assign(2048, 0x55);
        Decoded d;
        readBytesAsFile(buildBmp(s), d);
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.status, 50002u)
            << c.width << "x" << c.height << " bits " << c.bits << " compression " << c.compression;
    }
}

TEST(BmpReader, HostileSizesNeverAllocateOrReadOutside) {
    struct Case {
        int32_t width, height;
        uint16_t bits;
        uint32_t clrUsed;
        uint32_t status;
    } cases[] = {
        {INT32_MAX, 1, 24, 0, 50002},  // output row beyond 32 bits
        {INT32_MAX, 1, 32, 0, 50002},  //
        {70000, 70000, 8, 0, 50002},   // output image beyond 32 bits
        {INT32_MAX, 1, 1, 0, 50004},   // 2 GiB of output from a tiny file
        {INT32_MAX, 1, 8, 0, 50004},   //
        {30000, 30000, 16, 0, 50004},  // 16 and 32 bits must hold their rows
        {30000, 30000, 32, 0, 50004},  //
        {4, 2, 8, 0xFFFFFFFF, 50004},  // table of 16 GiB
        {4, 2, 1, 0x40000000, 50004},  // table of 4 GiB: would wrap in 32 bits
        {4, 2, 4, 0x3FFFFFF0, 50004},
    };
    for (const Case& c : cases) {
        BmpFields s;
        s.width = c.width;
        s.height = c.height;
        s.bits = c.bits;
        s.clrUsed = c.clrUsed;
        s.body.assign(1100, 0x55);
        Decoded d;
        readBytesAsFile(buildBmp(s), d);
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.status, c.status) << c.width << "x" << c.height << " bits " << c.bits;
        EXPECT_EQ(d.record.pixels, nullptr);
    }
}

TEST(BmpReader, LargeColourCountsNeverOverflowThePalette) {
    // An 8-bit file declaring 300 entries and holding them: 256 are taken.
    BmpFields s;
    s.bits = 8;
    s.clrUsed = 300;
    s.offBits = 54 + 1200;
    for (int i = 0; i < 300; ++i) s.body.insert(s.body.end(), {uint8_t(i), 1, 2, 3});
    s.body.insert(s.body.end(), {255, 0, 1, 2, 3, 4, 5, 6});
    Decoded d;
    readBytesAsFile(buildBmp(s), d);
    ASSERT_TRUE(d.ok) << d.status;
    EXPECT_EQ(d.record.palette[255].blue, 255);
    EXPECT_EQ(d.record.pixels[0], 255);

    // A 1-bit file declaring 256 entries: only entries 0 and 1 are used.
    BmpFields one;
    one.bits = 1;
    one.width = 8;
    one.height = 1;
    one.clrUsed = 256;
    one.offBits = 54 + 1024;
    for (int i = 0; i < 256; ++i) one.body.insert(one.body.end(), {uint8_t(i + 1), 0, 0, 0});
    one.body.insert(one.body.end(), {0xA5, 0, 0, 0});
    Decoded d1;
    readBytesAsFile(buildBmp(one), d1);
    ASSERT_TRUE(d1.ok) << d1.status;
    EXPECT_EQ(d1.record.palette[0].blue, 1);
    EXPECT_EQ(d1.record.palette[1].blue, 2);
    EXPECT_EQ(d1.record.palette[2].blue, 0);
    const uint8_t bits[8] = {1, 0, 1, 0, 0, 1, 0, 1};
    EXPECT_EQ(0, std::memcmp(d1.record.pixels, bits, 8));

    // A 1-bit file declaring one entry: entry 1 is not taken from the file.
    BmpFields single = one;
    single.clrUsed = 1;
    single.offBits = 58;
    single.body = {9, 9, 9, 0, 0xFF, 0, 0, 0};
    Decoded d2;
    readBytesAsFile(buildBmp(single), d2);
    ASSERT_TRUE(d2.ok) << d2.status;
    EXPECT_EQ(d2.record.palette[0].blue, 9);
    EXPECT_EQ(d2.record.palette[1].blue | d2.record.palette[1].green | d2.record.palette[1].red, 0);
}

TEST(BmpReader, MasksOfWidth32AreRefused) {
    // Only blue can reach 32 bits: green and red are measured above it.
    BmpFields s;
    s.bits = 32;
    s.compression = 3;
    s.offBits = 66;
    s.body.assign(12 + 32, 0);
    putU32(s.body, 8, 0x80000000);
    Decoded d;
    readBytesAsFile(buildBmp(s), d);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.status, 50004u);
}

TEST(BmpReader, WideMasksShiftWithoutOverflow) {
    // Blue 31 bits wide, green the one bit above, red shifted out entirely.
    BmpFields s;
    s.bits = 32;
    s.width = 1;
    s.height = 1;
    s.compression = 3;
    s.offBits = 66;
    s.body.assign(12 + 4, 0);
    putU32(s.body, 0, 0xFFFFFFFF);
    putU32(s.body, 4, 0xFFFFFFFF);
    putU32(s.body, 8, 0x7FFFFFFF);
    putU32(s.body, 12, 0xFFFFFFFF);
    Decoded d;
    readBytesAsFile(buildBmp(s), d);
    ASSERT_TRUE(d.ok) << d.status;
    EXPECT_EQ(d.record.pixels[0], 255);
    EXPECT_EQ(d.record.pixels[1], 255);
    EXPECT_EQ(d.record.pixels[2], 0);
}

TEST(BmpReader, BitFieldsNeedTheirMasksInTheFile) {
    BmpFields s;
    s.bits = 16;
    s.width = 1;
    s.height = 1;
    s.compression = 3;
    s.offBits = 54;
    s.body = {0, 0, 0, 0, 0, 0, 0, 0};  // 62 bytes: masks would end at 66
    Decoded d;
    readBytesAsFile(buildBmp(s), d);
    EXPECT_EQ(d.status, 50004u);
}

TEST(BmpReader, RowsBeyondTheEndAtLowAndHighDepthsReadAsZero) {
    // 4 bits, 3 x 2: the file holds the table and both rows counted from
    // offset 54, but the pixels start 3 bytes later, so the second row has
    // only one byte left in the file.
    BmpFields s;
    s.bits = 4;
    s.width = 3;
    s.height = 2;
    s.clrUsed = 2;
    s.offBits = 54 + 8 + 3;
    s.body = {1, 1, 1, 0, 2, 2, 2, 0, 0x11, 0x11, 0x11, 0x12, 0x30, 0xAB, 0xCD, 0x45};
    Decoded d;
    readBytesAsFile(buildBmp(s), d);
    ASSERT_TRUE(d.ok) << d.status;
    const uint8_t expected[8] = {1, 2, 3, 0, 4, 5, 0, 0};
    EXPECT_EQ(0, std::memcmp(d.record.pixels, expected, 8));

    // 32 bits, 2 x 1, pixels 2 bytes late: the second pixel is cut short and
    // reads as black.
    BmpFields t;
    t.bits = 32;
    t.width = 2;
    t.height = 1;
    t.offBits = 56;
    t.body = {1, 2, 3, 4, 5, 6, 7, 8};
    Decoded w;
    readBytesAsFile(buildBmp(t), w);
    ASSERT_TRUE(w.ok) << w.status;
    const uint8_t pixels[6] = {3, 4, 5, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(w.record.pixels, pixels, 6));

    // 16 bits cut inside the rows counted from offset 54: refused.
    BmpFields u;
    u.bits = 16;
    u.width = 2;
    u.height = 2;
    u.body = {1, 2, 3, 4, 5, 6};
    Decoded cut;
    readBytesAsFile(buildBmp(u), cut);
    EXPECT_EQ(cut.status, 50004u);
}

TEST(BmpReader, ResolutionsAreCopiedNegativeAsZero) {
    std::vector<uint8_t> bytes = small8Bit();
    putU32(bytes, 38, 2835);
    putU32(bytes, 42, uint32_t(-7));
    Decoded d;
    readBytesAsFile(bytes, d);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.record.header.biXPelsPerMeter, 2835);
    EXPECT_EQ(d.record.header.biYPelsPerMeter, 0);
}

TEST(BmpReader, AllocatesARecordWhenNoneIsGivenAndFreesItOnFailure) {
    BmpReader reader;
    const size_t blocks = platform::privateHeap().liveBlocks();
    ImageRecord* record = reader.read(u16(dataDir() / "pal8.bmp").c_str(), nullptr);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->header.biBitCount, 8);
    releasePixelBuffer(record->pixels);
    platform::privateHeap().release(record);
    EXPECT_EQ(reader.read(u16(dataDir() / "rle8.bmp").c_str(), nullptr), nullptr);
    EXPECT_EQ(reader.status(), 50002u);
    EXPECT_EQ(platform::privateHeap().liveBlocks(), blocks);
}

TEST(BmpReader, FailedReadClearsTheGivenRecordAndNextReadIsFresh) {
    BmpReader reader;
    ImageRecord record{};
    std::memset(record.palette, 0xAB, sizeof record.palette);
    EXPECT_EQ(reader.read(u16(dataDir() / "topdown24.bmp").c_str(), &record), nullptr);
    EXPECT_EQ(record.pixels, nullptr);
    EXPECT_EQ(record.palette[17].red, 0);
    ASSERT_EQ(reader.read(u16(dataDir() / "bw1.bmp").c_str(), &record), &record);
    EXPECT_EQ(reader.status(), 50000u);
    EXPECT_EQ(record.palette[2].red, 0);
    releasePixelBuffer(record.pixels);
}
