// Row unpackers against a plain bit-by-bit reference: every pixel value,
// and not one byte written past the row's width.
#include "codecs/tiff/tiff_unpack.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Bytes = std::vector<uint8_t>;

// Sample `index` of `bits` bits from a row packed most significant bit first.
uint8_t referenceSample(const Bytes& row, uint32_t index, uint32_t bits) {
    uint32_t bit = index * bits;
    uint32_t value = 0;
    for (uint32_t i = 0; i < bits; ++i, ++bit)
        value = value << 1 | ((row[bit / 8] >> (7 - bit % 8)) & 1);
    return static_cast<uint8_t>(value);
}

constexpr uint8_t kGuard = 0xA5;

TEST(TiffUnpack, IndexedRowsMatchTheReferenceAndStayInTheirRow) {
    std::mt19937 random(7);
    struct Case {
        uint32_t bits;
        TiffRowUnpacker unpack;
    };
    for (Case c : {Case{1, unpackTiffRow1}, Case{4, unpackTiffRow4}, Case{8, unpackTiffRow8}}) {
        for (uint32_t width = 1; width <= 41; ++width) {
            Bytes src(tiffSourceRowBytes(width, c.bits, 1));
            for (uint8_t& b : src) b = static_cast<uint8_t>(random());
            Bytes dst(width + 8, kGuard);
            c.unpack(src.data(), dst.data(), width);
            for (uint32_t x = 0; x < width; ++x)
                ASSERT_EQ(dst[x], referenceSample(src, x, c.bits)) << c.bits << "/" << width;
            for (uint32_t x = width; x < dst.size(); ++x)
                ASSERT_EQ(dst[x], kGuard) << "wrote past the row: " << c.bits << "/" << width;
        }
    }
}

TEST(TiffUnpack, SourceRowSizes) {
    EXPECT_EQ(tiffSourceRowBytes(1, 1, 1), 1u);
    EXPECT_EQ(tiffSourceRowBytes(8, 1, 1), 1u);
    EXPECT_EQ(tiffSourceRowBytes(9, 1, 1), 2u);
    EXPECT_EQ(tiffSourceRowBytes(3, 4, 1), 2u);
    EXPECT_EQ(tiffSourceRowBytes(5, 8, 3), 15u);
    EXPECT_EQ(tiffSourceRowBytes(5, 16, 3), 30u);
    EXPECT_EQ(tiffSourceRowBytes(0xFFFFFFFFu, 16, 3), 0xFFFFFFFFull * 6);
}

TEST(TiffUnpack, RgbRowsBecomeBlueGreenRed) {
    const Bytes src = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    Bytes dst(12, kGuard);
    unpackTiffRowRgb8(src.data(), dst.data(), 3);
    EXPECT_EQ(dst, Bytes({3, 2, 1, 6, 5, 4, 9, 8, 7, kGuard, kGuard, kGuard}));

    // Two pixels of 16-bit samples; the more significant bytes are 0xR1..
    const Bytes le = {0x01, 0xA1, 0x02, 0xA2, 0x03, 0xA3, 0x04, 0xB1, 0x05, 0xB2, 0x06, 0xB3};
    dst.assign(9, kGuard);
    unpackTiffRowRgb16LE(le.data(), dst.data(), 2);
    EXPECT_EQ(dst, Bytes({0xA3, 0xA2, 0xA1, 0xB3, 0xB2, 0xB1, kGuard, kGuard, kGuard}));
    const Bytes be = {0xA1, 0x01, 0xA2, 0x02, 0xA3, 0x03, 0xB1, 0x04, 0xB2, 0x05, 0xB3, 0x06};
    dst.assign(9, kGuard);
    unpackTiffRowRgb16BE(be.data(), dst.data(), 2);
    EXPECT_EQ(dst, Bytes({0xA3, 0xA2, 0xA1, 0xB3, 0xB2, 0xB1, kGuard, kGuard, kGuard}));
}

}  // namespace
