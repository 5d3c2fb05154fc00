// GIF reader: fixtures made by PIL and ImageMagick compared with PIL's
// decoding (canvas, margins and flattening applied), hand-built files for the
// block rules, refusals and damaged LZW data.
#include "codecs/gif/gif_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>

#include "platform/platform.h"
#include "tests/codecs/gif/gif_test_support.h"

using giftest::CodePacker;
using giftest::GifParts;
using giftest::indexAt;

namespace {

struct Expected {
    int width = 0, height = 0;
    bool transparent = false;
    uint8_t transparentIndex = 0;
    uint8_t transparentRgb[3] = {};
    uint32_t sourceBits = 0;
    std::vector<uint8_t> palette;  // 768 bytes red, green, blue
    std::vector<uint8_t> indices;  // top row first
};

Expected loadExpected(const std::string& name) {
    std::vector<uint8_t> bytes = readBytes(giftest::dataFolder() / (name + ".expected"));
    Expected e;
    if (bytes.size() < 14 + 768 || std::memcmp(bytes.data(), "GIFX", 4) != 0) {
        ADD_FAILURE() << "bad expected file for " << name;
        return e;
    }
    e.width = bytes[4] | bytes[5] << 8;
    e.height = bytes[6] | bytes[7] << 8;
    e.transparent = bytes[8] != 0;
    e.transparentIndex = bytes[9];
    std::memcpy(e.transparentRgb, &bytes[10], 3);
    e.sourceBits = bytes[13];
    e.palette.assign(bytes.begin() + 14, bytes.begin() + 14 + 768);
    e.indices.assign(bytes.begin() + 14 + 768, bytes.end());
    EXPECT_EQ(e.indices.size(), size_t(e.width) * size_t(e.height)) << name;
    return e;
}

class GifReaderTest : public ::testing::Test {
  protected:
    ImageRecord* readFile(const std::filesystem::path& path) {
        releasePixelBuffer(record_.pixels);
        record_.pixels = nullptr;
        return reader_.read(u16(path).c_str(), &record_);
    }
    ImageRecord* readBytes(const std::vector<uint8_t>& bytes) {
        return readFile(folder_.write("input.gif", bytes));
    }
    void TearDown() override { releasePixelBuffer(record_.pixels); }

    TempFolder folder_;
    GifReader reader_;
    ImageRecord record_{};
};

void expectMatches(const ImageRecord& record, const Expected& e, const std::string& name) {
    ASSERT_EQ(record.header.biWidth, e.width) << name;
    ASSERT_EQ(record.header.biHeight, e.height) << name;
    EXPECT_EQ(record.header.biBitCount, 8) << name;
    EXPECT_EQ(record.header.biSize, 40u);
    EXPECT_EQ(record.header.biPlanes, 1);
    EXPECT_EQ(record.header.biXPelsPerMeter, 0);
    EXPECT_EQ(record.header.biYPelsPerMeter, 0);
    EXPECT_EQ(record.sourceFormat, uint32_t{kFormatGif});
    EXPECT_EQ(record.sourceBitsPerPixel, e.sourceBits) << name;
    for (int i = 0; i < 256; ++i) {
        const RgbQuad& q = record.palette[i];
        ASSERT_EQ(
            (std::vector<int>{q.red, q.green, q.blue, q.reserved}),
            (std::vector<int>{e.palette[3 * i], e.palette[3 * i + 1], e.palette[3 * i + 2], 0}))
            << name << " palette entry " << i;
    }
    const uint32_t stride = rowStride(e.width, 8);
    for (int y = 0; y < e.height; ++y) {
        const uint8_t* row = record.pixels + size_t(e.height - 1 - y) * stride;
        ASSERT_EQ(0, std::memcmp(row, &e.indices[size_t(y) * e.width], size_t(e.width)))
            << name << " row " << y;
        for (uint32_t x = uint32_t(e.width); x < stride; ++x)
            ASSERT_EQ(row[x], 0) << name << " padding of row " << y;
    }
}

TEST_F(GifReaderTest, FixturesMatchAnIndependentDecoder) {
    for (const char* name :
         {"palette256", "two_colours", "magick_2", "magick_16", "interlaced", "magick_interlaced",
          "animated", "offset_frame", "transparent_background", "transparent_local_table",
          "extensions", "oversized_data"}) {
        SCOPED_TRACE(name);
        const std::filesystem::path path = giftest::dataFolder() / (std::string(name) + ".gif");
        Expected e = loadExpected(name);
        ASSERT_EQ(readFile(path), &record_) << "status " << reader_.status();
        EXPECT_EQ(reader_.status(), 50000u);
        EXPECT_EQ(record_.sourceFileSize, std::filesystem::file_size(path));
        expectMatches(record_, e, name);
        EXPECT_EQ(reader_.declaresTransparency(), e.transparent);
        if (e.transparent) {
            EXPECT_EQ(reader_.transparentIndex(), e.transparentIndex);
            EXPECT_EQ(0, std::memcmp(reader_.transparentColor(), e.transparentRgb, 3));
        }
    }
}

TEST_F(GifReaderTest, OffsetFrameSitsOnTheScreenWithBackgroundMargins) {
    ASSERT_TRUE(readFile(giftest::dataFolder() / "offset_frame.gif"));
    ASSERT_EQ(record_.header.biWidth, 200);
    ASSERT_EQ(record_.header.biHeight, 100);
    for (auto [x, y] : {std::pair{0, 0}, {9, 20}, {110, 20}, {199, 99}, {10, 19}, {10, 70}})
        EXPECT_EQ(indexAt(record_, x, y), 5) << x << "," << y;
    // Inside the frame every pixel is one of its colours 1..7, never the
    // background index of the margins' value by accident at the corners.
    EXPECT_EQ(indexAt(record_, 10, 20), 1);
    EXPECT_EQ(indexAt(record_, 109, 69), (99 + 49 + 1) % 7);
}

TEST_F(GifReaderTest, TransparentEntryIsFlattenedToTheBackgroundOrWhite) {
    ASSERT_TRUE(readFile(giftest::dataFolder() / "transparent_background.gif"));
    EXPECT_TRUE(reader_.declaresTransparency());
    EXPECT_EQ(reader_.transparentIndex(), 3);
    EXPECT_EQ((std::vector<int>{record_.palette[3].red, record_.palette[3].green,
                                record_.palette[3].blue}),
              (std::vector<int>{0, 128, 0}));
    const uint8_t* rgb = reader_.transparentColor();
    EXPECT_EQ((std::vector<int>{rgb[0], rgb[1], rgb[2]}), (std::vector<int>{0, 128, 0}));

    ASSERT_TRUE(readFile(giftest::dataFolder() / "transparent_local_table.gif"));
    EXPECT_TRUE(reader_.declaresTransparency());
    EXPECT_EQ((std::vector<int>{record_.palette[3].red, record_.palette[3].green,
                                record_.palette[3].blue}),
              (std::vector<int>{255, 255, 255}));
    rgb = reader_.transparentColor();
    EXPECT_EQ((std::vector<int>{rgb[0], rgb[1], rgb[2]}), (std::vector<int>{255, 255, 255}));
}

TEST_F(GifReaderTest, FlatteningOptions) {
    const auto path = giftest::dataFolder() / "transparent_background.gif";
    // Without flattening the entry keeps the file's colour (palette entry 3
    // of the fixture's palette: (3*37+11, 3*91+7, 3*53+201) mod 256).
    reader_.setFlattenTransparency(false);
    ASSERT_TRUE(readFile(path));
    EXPECT_EQ(record_.palette[3].red, 122);
    EXPECT_EQ(record_.palette[3].green, 24);
    EXPECT_EQ(record_.palette[3].blue, 104);
    EXPECT_EQ(reader_.transparentColor()[0], 122);
    EXPECT_EQ(reader_.transparentColor()[1], 24);
    EXPECT_EQ(reader_.transparentColor()[2], 104);

    // Flattening onto the fallback colour instead of the file's background.
    reader_.setFlattenTransparency(true);
    reader_.setUseFileBackground(false);
    reader_.setFallbackBackground(1, 2, 3);
    ASSERT_TRUE(readFile(path));
    EXPECT_EQ(record_.palette[3].red, 1);
    EXPECT_EQ(record_.palette[3].green, 2);
    EXPECT_EQ(record_.palette[3].blue, 3);
    // The rest of the palette is untouched.
    EXPECT_EQ(record_.palette[9].green, 128);
}

TEST_F(GifReaderTest, ResultsAndRecordAreResetForEveryFile) {
    ASSERT_TRUE(readFile(giftest::dataFolder() / "transparent_background.gif"));
    ASSERT_TRUE(reader_.declaresTransparency());
    // A non-transparent file clears the results; its palette has 2 entries
    // and the rest of the record's palette must be zero again.
    ASSERT_TRUE(readFile(giftest::dataFolder() / "two_colours.gif"));
    EXPECT_FALSE(reader_.declaresTransparency());
    for (int i = 4; i < 256; ++i) {
        EXPECT_EQ(record_.palette[i].red, 0) << i;
        EXPECT_EQ(record_.palette[i].green, 0) << i;
        EXPECT_EQ(record_.palette[i].blue, 0) << i;
    }
    // A failed read leaves no pixels and no transparency.
    ASSERT_TRUE(readFile(giftest::dataFolder() / "transparent_background.gif"));
    std::vector<uint8_t> bad = ::readBytes(giftest::dataFolder() / "transparent_background.gif");
    bad.resize(bad.size() - 20);
    EXPECT_EQ(readBytes(bad), nullptr);
    EXPECT_EQ(record_.pixels, nullptr);
    EXPECT_FALSE(reader_.declaresTransparency());
}

TEST_F(GifReaderTest, AllocatesARecordWhenNoneIsGiven) {
    const auto path = giftest::dataFolder() / "palette256.gif";
    const size_t before = platform::privateHeap().liveBlocks();
    ImageRecord* record = reader_.read(u16(path).c_str(), nullptr);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->header.biWidth, 67);
    releasePixelBuffer(record->pixels);
    platform::privateHeap().release(record);
    EXPECT_EQ(platform::privateHeap().liveBlocks(), before);

    // On failure the allocated record is given back.
    const auto missing = folder_ / "missing.gif";
    EXPECT_EQ(reader_.read(u16(missing).c_str(), nullptr), nullptr);
    EXPECT_EQ(reader_.status(), 50004u);
    EXPECT_EQ(platform::privateHeap().liveBlocks(), before);
}

TEST_F(GifReaderTest, HandBuiltFileDecodes) {
    GifParts parts;
    ASSERT_TRUE(readBytes(parts.build())) << reader_.status();
    EXPECT_EQ(record_.sourceBitsPerPixel, 2u);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(indexAt(record_, x, 0), x);
    EXPECT_EQ(record_.palette[2].red, 21);
    EXPECT_EQ(record_.palette[2].blue, 23);

    // A 87a file, no trailer (nothing after the first image is read), and a
    // local table that is larger than the global one.
    parts.signature = "GIF87a";
    parts.trailer = false;
    parts.imagePacked = 0x82;  // 8 entries
    for (int i = 0; i < 24; ++i) parts.localTable.push_back(static_cast<uint8_t>(100 + i));
    ASSERT_TRUE(readBytes(parts.build())) << reader_.status();
    EXPECT_EQ(record_.sourceBitsPerPixel, 3u);
    EXPECT_EQ(record_.palette[1].red, 103);
    EXPECT_EQ(record_.palette[7].blue, 123);
    EXPECT_EQ(record_.palette[8].red, 0);
}

TEST_F(GifReaderTest, RefusalsCarryTheirCodes) {
    struct Case {
        const char* what;
        std::function<void(GifParts&)> change;
        uint32_t status;
    };
    const std::vector<Case> cases = {
        {"bad signature", [](GifParts& p) { p.signature = "GIF88a"; }, 50007},
        {"not a GIF", [](GifParts& p) { p.signature = "BMxxxx"; }, 50007},
        {"zero screen width", [](GifParts& p) { p.screenWidth = 0; }, 50002},
        {"zero screen height", [](GifParts& p) { p.screenHeight = 0; }, 50002},
        {"minimum code size 1", [](GifParts& p) { p.minCodeSize = 1; }, 50007},
        {"minimum code size 9", [](GifParts& p) { p.minCodeSize = 9; }, 50007},
        {"extension label 0x02",
         [](GifParts& p) {
             p.beforeImage = {0x21, 0x02, 0x00};
         },
         50004},
        {"unknown block", [](GifParts& p) { p.beforeImage = {0x99}; }, 50004},
        {"trailer before the image", [](GifParts& p) { p.beforeImage = {0x3B}; }, 50007},
        {"image right of the screen", [](GifParts& p) { p.left = 1; }, 50007},
        {"image below the screen", [](GifParts& p) { p.height = 2; }, 50007},
        {"no colour table", [](GifParts& p) { p.globalTable = false; }, 50007},
        {"empty image data", [](GifParts& p) { p.data.clear(); }, 50007},
        {"comment running past the end",
         [](GifParts& p) {
             p.beforeImage = {0x21, 0xFE, 0x40, 1, 2};
             p.minCodeSize = 2;
         },
         50007},
    };
    for (const Case& c : cases) {
        GifParts parts;
        c.change(parts);
        std::vector<uint8_t> bytes = parts.build();
        if (std::string(c.what) == "comment running past the end") bytes.resize(13 + 12 + 5);
        EXPECT_EQ(readBytes(bytes), nullptr) << c.what;
        EXPECT_EQ(reader_.status(), c.status) << c.what;
        EXPECT_EQ(record_.pixels, nullptr) << c.what;
    }

    EXPECT_EQ(readBytes({}), nullptr);
    EXPECT_EQ(reader_.status(), 50004u) << "empty file";
    EXPECT_EQ(readBytes({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0}), nullptr);
    EXPECT_EQ(reader_.status(), 50007u) << "12-byte file";
}

TEST_F(GifReaderTest, EveryTruncationIsRefusedOrComplete) {
    // Every prefix of a file either fails with a structure error or, once the
    // image's data is complete, decodes to the full picture.
    // Every cut of the smaller file; for the other every cut through its
    // extension blocks and then every 13th.
    for (const char* name : {"magick_interlaced", "extensions"}) {
        const auto path = giftest::dataFolder() / (std::string(name) + ".gif");
        const std::vector<uint8_t> whole = ::readBytes(path);
        ASSERT_TRUE(readFile(path));
        const Expected e = loadExpected(name);
        const bool every = std::string(name) == "magick_interlaced";
        for (size_t n = 0; n < whole.size();
             n += (every || (n >= 770 && n < 900) || n + 3 > whole.size()) ? 1 : 13) {
            std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(n));
            if (readBytes(cut)) {
                // Only the trailer may be missing.
                EXPECT_EQ(n, whole.size() - 1) << name;
                expectMatches(record_, e, name);
            } else {
                EXPECT_EQ(reader_.status(), n == 0 ? 50004u : 50007u) << name << " cut at " << n;
            }
        }
    }
}

TEST_F(GifReaderTest, ExtensionBlocksAreCheckedForTruncation) {
    const std::vector<std::vector<uint8_t>> cut = {
        {0x21},                                         // label missing
        {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x03},     // control block short
        {0x21, 0x01, 0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // plain-text header short
        {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C'},    // application header short
        {0x21, 0xFE, 0x03, 'a', 'b', 'c'},              // comment without terminator
    };
    for (const auto& blocks : cut) {
        GifParts parts;
        std::vector<uint8_t> bytes = parts.build();
        bytes.resize(13 + 12);  // header and global table only
        bytes.insert(bytes.end(), blocks.begin(), blocks.end());
        EXPECT_EQ(readBytes(bytes), nullptr);
        EXPECT_EQ(reader_.status(), 50007u) << "block of " << blocks.size() << " bytes";
    }

    // Truncated local table and image descriptor.
    GifParts parts;
    parts.imagePacked = 0x81;
    parts.localTable = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    std::vector<uint8_t> bytes = parts.build();
    bytes.resize(13 + 12 + 10 + 5);
    EXPECT_EQ(readBytes(bytes), nullptr);
    EXPECT_EQ(reader_.status(), 50007u);
    bytes.resize(13 + 12 + 6);
    EXPECT_EQ(readBytes(bytes), nullptr);
    EXPECT_EQ(reader_.status(), 50007u);
}

TEST_F(GifReaderTest, LaterControlBlockDecidesTransparency) {
    GifParts parts;
    parts.beforeImage = {0x21, 0xF9, 0x04, 0x01, 0, 0, 2, 0,   // transparent index 2
                         0x21, 0xF9, 0x04, 0x00, 0, 0, 1, 0};  // not transparent
    ASSERT_TRUE(readBytes(parts.build()));
    EXPECT_FALSE(reader_.declaresTransparency());
    EXPECT_EQ(record_.palette[2].red, 21);  // not flattened

    parts.beforeImage = {0x21, 0xF9, 0x04, 0x01, 0, 0, 2, 0};
    parts.background = 1;
    ASSERT_TRUE(readBytes(parts.build()));
    EXPECT_TRUE(reader_.declaresTransparency());
    EXPECT_EQ(record_.palette[2].red, 11);  // the background entry 1
    EXPECT_EQ(record_.palette[2].green, 12);
    EXPECT_EQ(record_.palette[2].blue, 13);
    EXPECT_EQ(indexAt(record_, 2, 0), 2);  // indices are not changed
}

// LZW data that ends or goes wrong is never an error: what was decoded stays,
// the rest of the image is index 0.
TEST_F(GifReaderTest, DamagedLzwDataKeepsTheDecodedPart) {
    GifParts parts;
    parts.width = parts.screenWidth = 6;
    parts.background = 3;

    CodePacker early;  // clear, 1, 2 and no end code
    early.put(4, 3);
    early.put(1, 3);
    early.put(2, 3);
    parts.data = early.finish();
    ASSERT_TRUE(readBytes(parts.build())) << reader_.status();
    std::vector<int> row;
    for (int x = 0; x < 6; ++x) row.push_back(indexAt(record_, x, 0));
    EXPECT_EQ(row, (std::vector<int>{1, 2, 0, 0, 0, 0}));

    CodePacker unknownFirst;  // a first code that names no string yet
    unknownFirst.put(4, 3);
    unknownFirst.put(7, 3);
    unknownFirst.put(1, 3);
    parts.data = unknownFirst.finish();
    ASSERT_TRUE(readBytes(parts.build()));
    row.clear();
    for (int x = 0; x < 6; ++x) row.push_back(indexAt(record_, x, 0));
    EXPECT_EQ(row, (std::vector<int>{0, 0, 0, 0, 0, 0}));

    CodePacker ahead;  // a code beyond the next free one repeats as in KwKwK
    ahead.put(4, 3);
    ahead.put(1, 3);
    ahead.put(7, 3);  // next free is 6: "1" + "1"
    ahead.put(5, 3);
    parts.data = ahead.finish();
    ASSERT_TRUE(readBytes(parts.build()));
    row.clear();
    for (int x = 0; x < 6; ++x) row.push_back(indexAt(record_, x, 0));
    EXPECT_EQ(row, (std::vector<int>{1, 1, 1, 0, 0, 0}));
}

TEST_F(GifReaderTest, LzwStringsAndTableRules) {
    GifParts parts;
    parts.width = parts.screenWidth = 10;
    // clear, 0, 6 (not yet defined: "00"), 6 ("00"), 7 ("000"), clear, 3, 6
    // (after the clear 6 is not defined again: "33"), end.
    CodePacker codes;
    codes.put(4, 3);
    codes.put(0, 3);
    codes.put(6, 3);  // adds 6 = "00"
    codes.put(6, 3);  // adds 7 = "000"; next free 8 widens to 4 bits
    codes.put(7, 4);
    codes.put(4, 4);
    codes.put(3, 3);
    codes.put(6, 3);
    codes.put(5, 3);
    parts.data = codes.finish();
    ASSERT_TRUE(readBytes(parts.build())) << reader_.status();
    std::vector<int> row;
    for (int x = 0; x < 10; ++x) row.push_back(indexAt(record_, x, 0));
    EXPECT_EQ(row, (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 3, 3}));
}

TEST_F(GifReaderTest, StringsPastTheImageAreCut) {
    GifParts parts;
    parts.width = parts.screenWidth = 3;
    CodePacker codes;  // clear, 2, 6 ("22"), 7 ("222") = 6 indices for 3 pixels
    codes.put(4, 3);
    codes.put(2, 3);
    codes.put(6, 3);
    codes.put(7, 3);
    codes.put(5, 4);
    parts.data = codes.finish();
    ASSERT_TRUE(readBytes(parts.build()));
    for (int x = 0; x < 3; ++x) EXPECT_EQ(indexAt(record_, x, 0), 2);
    // The row padding byte stays 0.
    EXPECT_EQ(record_.pixels[3], 0);
}

TEST_F(GifReaderTest, FullTableWithoutClearKeepsDecoding) {
    // Root codes only, with minimum code size 8: the table fills at 4096 and
    // the stream goes on at 12 bits without a clear code.
    const int count = 5000;
    GifParts parts;
    parts.tableBits = 8;
    parts.width = parts.screenWidth = count;
    parts.minCodeSize = 8;
    CodePacker codes;
    int width = 9;
    unsigned nextFree = 258;
    codes.put(256, width);
    for (int i = 0; i < count; ++i) {
        codes.put(static_cast<unsigned>((i * 7) % 256), width);
        if (i > 0 && nextFree < 4096) {
            ++nextFree;
            if (nextFree > (1u << width) - 1 && width < 12) ++width;
        }
    }
    codes.put(257, width);
    parts.data = codes.finish();
    ASSERT_TRUE(readBytes(parts.build())) << reader_.status();
    for (int i = 0; i < count; ++i) ASSERT_EQ(indexAt(record_, i, 0), (i * 7) % 256) << i;
}

TEST_F(GifReaderTest, ZeroSizedImageGivesABackgroundCanvas) {
    GifParts parts;
    parts.width = 0;
    parts.background = 2;
    ASSERT_TRUE(readBytes(parts.build())) << reader_.status();
    for (int x = 0; x < 4; ++x) EXPECT_EQ(indexAt(record_, x, 0), 2);
}

}  // namespace

namespace {

// The collected image data is never cut to a nominal capacity of
// width * height * 5 / 4 + 260 bytes: data far larger than that (here a long
// run of clear codes before the pixels) is collected and decoded whole.
TEST_F(GifReaderTest, ImageDataBeyondTheNominalCapacityIsDecodedWhole) {
    const auto path = giftest::dataFolder() / "oversized_data.gif";
    const size_t nominal = 40 * 30 * 5 / 4 + 260;
    ASSERT_GT(std::filesystem::file_size(path), 3 * nominal);
    ASSERT_TRUE(readFile(path)) << reader_.status();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(indexAt(record_, x, y), (x * 7 + y * 3) % 256);

    // The same with the data in one long chain of many sub-blocks built here:
    // clear codes, then every pixel.
    GifParts parts;
    parts.tableBits = 8;
    parts.minCodeSize = 8;
    parts.width = parts.screenWidth = 64;
    parts.height = parts.screenHeight = 64;
    CodePacker codes;
    for (int i = 0; i < 20000; ++i) codes.put(256, 9);
    for (int i = 0; i < 64 * 64; ++i) {
        if (i % 254 == 0) codes.put(256, 9);
        codes.put(static_cast<unsigned>(i % 251), 9);
    }
    codes.put(257, 9);
    parts.data = codes.finish();
    ASSERT_TRUE(readBytes(parts.build())) << reader_.status();
    for (int i = 0; i < 64 * 64; ++i) ASSERT_EQ(indexAt(record_, i % 64, i / 64), i % 251) << i;
}

}  // namespace
