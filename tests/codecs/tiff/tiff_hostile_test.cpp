// Hand-made damaged and hostile TIFF files: every one must be refused with
// the right status, or decoded without reading outside the file.
#include <gtest/gtest.h>

#include <algorithm>

#include "codecs/tiff/tiff_reader.h"
#include "tests/codecs/tiff/tiff_test_support.h"

using namespace tifftest;

namespace {

// Reads `file` and returns the reader's status; a successful read must come
// with pixels, a failed one without.
uint32_t statusOf(const Bytes& file, ImageRecord* out = nullptr) {
    TempFile temp(file);
    TiffReader reader;
    ImageRecord record{};
    ImageRecord* result = reader.read(temp.wide(), &record);
    if (result) {
        EXPECT_NE(record.pixels, nullptr);
        if (out)
            *out = record;
        else
            releasePixelBuffer(record.pixels);
    } else {
        EXPECT_EQ(record.pixels, nullptr);
    }
    return reader.status();
}

class TiffHostile : public ::testing::TestWithParam<bool> {
  protected:
    bool le() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(ByteOrder, TiffHostile, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "II" : "MM"; });

TEST_P(TiffHostile, ValidBaseFileDecodes) {
    ImageRecord r{};
    ASSERT_EQ(statusOf(rgbFile(le(), 5, 3).bytes(), &r), 50000u);
    Bytes rgb = recordToRgb(r);
    EXPECT_EQ(rgb[0], 0);
    EXPECT_EQ(rgb[(2 * 5 + 4) * 3 + 2], 6);  // blue of (4, 2) is x + y
    releasePixelBuffer(r.pixels);
}

TEST_P(TiffHostile, HeaderFaults) {
    Bytes file = rgbFile(le(), 2, 2).bytes();
    EXPECT_EQ(statusOf(Bytes(file.begin(), file.begin() + 7)), 50007u);
    Bytes bad = file;
    bad[1] = bad[0] == 'I' ? 'M' : 'I';
    EXPECT_EQ(statusOf(bad), 50007u);
    bad = file;
    bad[le() ? 2 : 3] = 43;
    EXPECT_EQ(statusOf(bad), 50007u);
}

TEST_P(TiffHostile, DirectoryOutsideTheFile) {
    TiffBuilder b = rgbFile(le(), 2, 2);
    b.forceDirectoryOffset(0xFFFFFFFF);
    EXPECT_EQ(statusOf(b.bytes()), 50007u);
    Bytes file = rgbFile(le(), 2, 2).bytes();
    uint32_t size = uint32_t(file.size());
    b.forceDirectoryOffset(size - 1);  // the entry count itself is cut off
    EXPECT_EQ(statusOf(b.bytes()), 50007u);
    // Entries run past the end of the file.
    file.resize(file.size() - 5);
    EXPECT_EQ(statusOf(file), 50007u);
}

TEST_P(TiffHostile, WidthAndHeightRules) {
    TiffBuilder b = rgbFile(le(), 2, 2);
    b.setShort(kWidth, 2, 1, TiffBuilder::kRational);
    EXPECT_EQ(statusOf(b.bytes()), 50007u);
    b = rgbFile(le(), 2, 2);
    b.setShort(kLength, 0);
    EXPECT_EQ(statusOf(b.bytes()), 50007u);
    b = rgbFile(le(), 2, 2);
    b.setLong(kWidth, 0x80000000u);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
    b = rgbFile(le(), 2, 2);
    b.remove(kLength);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
    b = rgbFile(le(), 2, 2);
    b.setLong(kWidth, 2);  // LONG works as well as SHORT
    EXPECT_EQ(statusOf(b.bytes()), 50000u);
}

TEST_P(TiffHostile, BitsPerSampleRules) {
    TiffBuilder b = rgbFile(le(), 2, 2);
    b.setLong(kBitsPerSample, b.append16({8, 8, 16}), 3);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
    b = rgbFile(le(), 2, 2);
    b.setLong(kBitsPerSample, b.append16({4, 4, 4}), 3);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
    b = rgbFile(le(), 2, 2);
    b.setLong(kBitsPerSample, 0xFFFFFFF0u, 3);
    EXPECT_EQ(statusOf(b.bytes()), 50007u);
    // RGBA: four values leave the sample count at 4.
    b = rgbFile(le(), 2, 2);
    b.setLong(kBitsPerSample, b.append16({8, 8, 8, 8}), 4);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
    b = rgbFile(le(), 2, 2);
    b.setShort(kBitsPerSample, 8);  // one value for RGB
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
}

TEST_P(TiffHostile, CompressionMustBeNone) {
    for (uint16_t compression : {2, 5, 7, 8, 32773}) {
        TiffBuilder b = rgbFile(le(), 2, 2);
        b.setShort(kCompression, compression);
        EXPECT_EQ(statusOf(b.bytes()), 50002u) << compression;
    }
    // As a LONG, the first 16 bits of the value field are what counts.
    TiffBuilder b = rgbFile(le(), 2, 2);
    b.setLong(kCompression, 1);
    EXPECT_EQ(statusOf(b.bytes()), le() ? 50000u : 50002u);
}

TEST_P(TiffHostile, PhotometricRules) {
    TiffBuilder b = rgbFile(le(), 2, 2);
    b.remove(kPhotometric);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
    for (uint16_t kind : {4, 5, 6, 8, 32844}) {
        b = rgbFile(le(), 2, 2);
        b.setShort(kPhotometric, kind);
        EXPECT_EQ(statusOf(b.bytes()), 50002u) << kind;
    }
    for (int bits : {2, 3, 16, 0}) {
        Bytes rows(32, 0);
        EXPECT_EQ(statusOf(grayFile(le(), 2, 2, bits, rows).bytes()), 50002u) << bits;
    }
    // Palette without a colour map.
    EXPECT_EQ(statusOf(grayFile(le(), 2, 2, 8, Bytes(4, 1), 3).bytes()), 50002u);
}

TEST_P(TiffHostile, SampleLayoutsThatWouldScrambleThePicture) {
    // Gray with alpha (two BitsPerSample values).
    TiffBuilder b = grayFile(le(), 2, 2, 8, Bytes(8, 9));
    b.setShort(kBitsPerSample, 8, 2);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
    b = grayFile(le(), 2, 2, 8, Bytes(8, 9));
    b.setShort(kSamplesPerPixel, 2);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
    b = rgbFile(le(), 2, 2);
    b.setShort(kSamplesPerPixel, 4);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
    b = rgbFile(le(), 2, 2);
    b.setShort(kPlanar, 2);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
}

TEST_P(TiffHostile, ColourMapMustLieInTheFile) {
    TiffBuilder c = grayFile(le(), 2, 2, 4, Bytes(2, 0x12), 3);
    c.setLong(kColorMap, 0xFFFFFF00u, 48, TiffBuilder::kShort);
    EXPECT_EQ(statusOf(c.bytes()), 50004u);
    c.setLong(kColorMap, uint32_t(c.bytes().size()) - 40, 48, TiffBuilder::kShort);  // 96 bytes
    EXPECT_EQ(statusOf(c.bytes()), 50004u);
    uint32_t full = c.append16(std::vector<uint16_t>(48, 0x7F00));
    c.setLong(kColorMap, full, 48, TiffBuilder::kShort);
    ImageRecord r{};
    ASSERT_EQ(statusOf(c.bytes(), &r), 50000u);
    EXPECT_EQ(r.palette[15].green, 0x7F);
    EXPECT_EQ(r.palette[16].green, 0);
    releasePixelBuffer(r.pixels);
}

TEST_P(TiffHostile, StripArrayRules) {
    TiffBuilder b = rgbFile(le(), 2, 2);
    b.setLong(kStripOffsets, 0, 0x40000000u);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
    b = rgbFile(le(), 2, 2);
    b.setLong(kStripByteCounts, 12, 1, TiffBuilder::kRational);
    EXPECT_EQ(statusOf(b.bytes()), 50007u);
    b = rgbFile(le(), 2, 2);
    b.setLong(kStripOffsets, 8, 0);
    EXPECT_EQ(statusOf(b.bytes()), 50007u);
    b = rgbFile(le(), 2, 2);
    b.setLong(kStripOffsets, 0xFFFFFFF0u, 2);  // the values lie outside the file
    b.setLong(kStripByteCounts, 0xFFFFFFF0u, 2);
    EXPECT_EQ(statusOf(b.bytes()), 50007u);
    b = rgbFile(le(), 2, 2);
    b.remove(kStripByteCounts);
    EXPECT_EQ(statusOf(b.bytes()), 50007u);
    b = rgbFile(le(), 2, 2);  // tiled files carry no strip tags
    b.remove(kStripOffsets);
    b.remove(kStripByteCounts);
    EXPECT_EQ(statusOf(b.bytes()), 50007u);
    b = rgbFile(le(), 2, 2);
    b.setLong(kStripByteCounts, b.append32({6, 6}), 2);
    EXPECT_EQ(statusOf(b.bytes()), 50007u);  // counts differ
}

TEST_P(TiffHostile, RepeatedStripTagIsMalformed) {
    Bytes file = rgbFile(le(), 2, 2).bytes();
    // Rename the StripByteCounts entry (279) to a second StripOffsets (273).
    TiffBuilder b(le());
    Bytes tag279, tag273;
    b.put16(tag279, 279);
    b.put16(tag273, 273);
    auto it = std::search(file.begin() + 8, file.end(), tag279.begin(), tag279.end());
    ASSERT_NE(it, file.end());
    std::copy(tag273.begin(), tag273.end(), it);
    EXPECT_EQ(statusOf(file), 50007u);
}

TEST_P(TiffHostile, StripsOutsideTheFile) {
    TiffBuilder b = rgbFile(le(), 2, 2);
    b.setLong(kStripOffsets, 0xFFFFFFFFu);
    b.setLong(kStripByteCounts, 0xFFFFFFFFu);  // offset + count overflows 32 bits
    EXPECT_EQ(statusOf(b.bytes()), 50004u);
    b = rgbFile(le(), 2, 2);
    b.setLong(kStripByteCounts, 4096);
    EXPECT_EQ(statusOf(b.bytes()), 50004u);
    b = rgbFile(le(), 2, 2);
    b.setLong(kStripOffsets, 1u << 20);
    EXPECT_EQ(statusOf(b.bytes()), 50004u);
    // Strip byte counts adding up to 2^32 or more.
    b = rgbFile(le(), 2, 2);
    b.setLong(kStripOffsets, b.append32({8, 8}), 2);
    b.setLong(kStripByteCounts, b.append32({0xFFFFFFFFu, 1}), 2);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
}

// Rows are never read beyond the strips: strips shorter than the rows need
// are refused as a damaged file.
TEST_P(TiffHostile, StripsShorterThanTheRowsAreRefused) {
    TiffBuilder b = rgbFile(le(), 5, 3);
    b.setLong(kStripByteCounts, 5 * 3 * 3 - 1);
    EXPECT_EQ(statusOf(b.bytes()), 50004u);
    // 1-bit, 9 pixels wide: 2 bytes a row, 3 rows need 6 bytes.
    EXPECT_EQ(statusOf(grayFile(le(), 9, 3, 1, Bytes(5, 0xFF)).bytes()), 50004u);
    EXPECT_EQ(statusOf(grayFile(le(), 9, 3, 1, Bytes(6, 0xFF)).bytes()), 50000u);
    // A huge picture with tiny strips is refused before its buffer is made.
    EXPECT_EQ(statusOf(grayFile(le(), 30000, 30000, 8, Bytes(16, 0)).bytes()), 50004u);
    // Longer strips are fine: the extra bytes are ignored.
    EXPECT_EQ(statusOf(grayFile(le(), 2, 2, 8, Bytes(100, 7)).bytes()), 50000u);
}

TEST_P(TiffHostile, OutputThatDoesNotFitIn32BitsIsRefused) {
    TiffBuilder b = grayFile(le(), 1, 1, 1, Bytes(1, 0));
    b.setShort(kWidth, 65535);
    b.setShort(kLength, 65535);
    b.setShort(kBitsPerSample, 8);
    EXPECT_EQ(statusOf(b.bytes()), 50004u);  // fits, but strips far too short
    b.setLong(kWidth, 65536);
    b.setLong(kLength, 65536);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
    b = rgbFile(le(), 1, 1);
    b.setLong(kWidth, 0x7FFFFFFF);
    b.setLong(kLength, 0x7FFFFFFF);
    EXPECT_EQ(statusOf(b.bytes()), 50002u);
}

TEST_P(TiffHostile, StripsAreConcatenatedInDirectoryOrder) {
    // Rows 0..3 of a 3-pixel 8-bit picture in strips of one row, with an
    // empty strip (offset 0) among them.
    auto check = [&](const TiffBuilder& b) {
        ImageRecord r{};
        ASSERT_EQ(statusOf(b.bytes(), &r), 50000u);
        for (int y = 0; y < 4; ++y)  // bottom-up: buffer row 0 is picture row 3
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(r.pixels[y * 4 + x], (3 - y) * 10 + x) << y << "," << x;
        releasePixelBuffer(r.pixels);
    };
    // Stored in the file in the order 2, 0, 3, 1: copied together.
    TiffBuilder b = grayFile(le(), 3, 4, 8, Bytes(1, 0));
    uint32_t row[4];
    for (int y : {2, 0, 3, 1})
        row[y] = b.append({uint8_t(y * 10), uint8_t(y * 10 + 1), uint8_t(y * 10 + 2)});
    b.setLong(kStripOffsets, b.append32({row[0], 0, row[1], row[2], row[3]}), 5);
    b.setLong(kStripByteCounts, b.append16({3, 0, 3, 3, 3}), 5, TiffBuilder::kShort);
    check(b);
    // Stored one after the other behind a leading empty strip: read in place.
    b = grayFile(le(), 3, 4, 8, Bytes(1, 0));
    uint32_t base = b.append({0, 1, 2, 10, 11, 12, 20, 21, 22, 30, 31, 32});
    b.setLong(kStripOffsets, b.append32({0, base, base + 3, base + 6, base + 9}), 5);
    b.setLong(kStripByteCounts, b.append32({0, 3, 3, 3, 3}), 5);
    check(b);
}

TEST_P(TiffHostile, TwoShortStripValuesSitInTheEntry) {
    TiffBuilder b = grayFile(le(), 2, 2, 8, Bytes(1, 0));
    uint32_t first = b.append({1, 2});
    uint32_t second = b.append({3, 4});
    Bytes offsets, counts;
    b.put16(offsets, uint16_t(first));
    b.put16(offsets, uint16_t(second));
    b.put16(counts, 2);
    b.put16(counts, 2);
    auto load = [&](const Bytes& v) {
        return le() ? uint32_t(v[0] | v[1] << 8 | v[2] << 16 | v[3] << 24)
                    : uint32_t(v[0] << 24 | v[1] << 16 | v[2] << 8 | v[3]);
    };
    b.setLong(kStripOffsets, load(offsets), 2, TiffBuilder::kShort);
    b.setLong(kStripByteCounts, load(counts), 2, TiffBuilder::kShort);
    ImageRecord r{};
    ASSERT_EQ(statusOf(b.bytes(), &r), 50000u);
    EXPECT_EQ(r.pixels[0], 3);  // bottom row is the second strip
    EXPECT_EQ(r.pixels[4], 1);
    releasePixelBuffer(r.pixels);
}

TEST_P(TiffHostile, OneBitRowsWriteExactlyTheirPixels) {
    // Width 1 and 9: the set bits beyond the width must not spill into the
    // row padding or the next row.
    for (uint16_t width : {1, 9, 31}) {
        uint32_t rowBytes = (width + 7) / 8;
        ImageRecord r{};
        ASSERT_EQ(statusOf(grayFile(le(), width, 3, 1, Bytes(rowBytes * 3, 0xFF)).bytes(), &r),
                  50000u);
        uint32_t stride = rowStride(width, 8);
        for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t x = 0; x < stride; ++x)
                EXPECT_EQ(r.pixels[y * stride + x], x < width ? 1 : 0) << width << ":" << x;
        releasePixelBuffer(r.pixels);
    }
}

TEST_P(TiffHostile, ResolutionRules) {
    auto withResolution = [&](uint32_t xNum, uint32_t xDen, uint32_t yNum, uint32_t yDen,
                              int unit) {
        TiffBuilder b = rgbFile(le(), 1, 1);
        b.setLong(kXResolution, b.append32({xNum, xDen}), 1, TiffBuilder::kRational);
        b.setLong(kYResolution, b.append32({yNum, yDen}), 1, TiffBuilder::kRational);
        if (unit >= 0) b.setShort(kResolutionUnit, uint16_t(unit));
        ImageRecord r{};
        EXPECT_EQ(statusOf(b.bytes(), &r), 50000u);
        std::pair<int, int> result{r.header.biXPelsPerMeter, r.header.biYPelsPerMeter};
        releasePixelBuffer(r.pixels);
        return result;
    };
    using P = std::pair<int, int>;
    EXPECT_EQ(withResolution(300, 1, 600, 2, -1), P(11811, 11811));  // inch by default
    EXPECT_EQ(withResolution(72, 1, 96, 1, 2), P(2835, 3780));
    EXPECT_EQ(withResolution(40, 1, 11811, 100, 3), P(4000, 11811));
    EXPECT_EQ(withResolution(300, 1, 300, 1, 1), P(0, 0));  // no absolute unit
    EXPECT_EQ(withResolution(300, 1, 300, 1, 7), P(0, 0));
    EXPECT_EQ(withResolution(300, 0, 300, 1, 2), P(0, 11811));  // zero denominator
    // Too large for the header: no resolution rather than an overflow.
    EXPECT_EQ(withResolution(0xFFFFFFFFu, 1, 0xFFFFFFFFu, 1, 2), P(0, 0));
    EXPECT_EQ(withResolution(0xFFFFFFFFu, 1, 21474836, 1, 3), P(0, 2147483600));

    // Only one of the two tags, or one pointing outside the file: none.
    TiffBuilder b = rgbFile(le(), 1, 1);
    b.setLong(kXResolution, b.append32({300, 1}), 1, TiffBuilder::kRational);
    ImageRecord r{};
    ASSERT_EQ(statusOf(b.bytes(), &r), 50000u);
    EXPECT_EQ(r.header.biXPelsPerMeter, 0);
    EXPECT_EQ(r.header.biYPelsPerMeter, 0);
    releasePixelBuffer(r.pixels);
    b.setLong(kYResolution, 0xFFFFFFFCu, 1, TiffBuilder::kRational);
    ASSERT_EQ(statusOf(b.bytes(), &r), 50000u);
    EXPECT_EQ(r.header.biXPelsPerMeter, 11811);
    EXPECT_EQ(r.header.biYPelsPerMeter, 0);
    releasePixelBuffer(r.pixels);
}

}  // namespace
