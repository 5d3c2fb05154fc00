// Row reconstruction and blending kernels against plain reference versions.
#include "codecs/png/png_filters.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "codecs/png/blend_table.h"
#include "codecs/png/chunk_crc.h"
#include "core/crc32.h"

namespace {

// The textbook reconstruction of every byte of a row.
void referenceReconstruct(int type, std::vector<uint8_t>& row, const std::vector<uint8_t>& above,
                          int bpp) {
    for (size_t i = 0; i < row.size(); ++i) {
        int a = i >= static_cast<size_t>(bpp) ? row[i - bpp] : 0;
        int b = above[i];
        int c = i >= static_cast<size_t>(bpp) ? above[i - bpp] : 0;
        int pred = 0;
        switch (type) {
            case 1:
                pred = a;
                break;
            case 2:
                pred = b;
                break;
            case 3:
                pred = (a + b) / 2;
                break;
            case 4: {
                int p = a + b - c;
                int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                break;
            }
            default:
                pred = 0;
        }
        row[i] = static_cast<uint8_t>(row[i] + pred);
    }
}

}  // namespace

TEST(PngFilters, FastReconstructionMatchesReference) {
    std::mt19937 rng(7);
    for (int bpp : {1, 2, 3, 4, 6, 8}) {
        for (int type = 0; type <= 6; ++type) {
            for (size_t length :
                 {size_t{0}, size_t{1}, size_t(bpp), size_t(bpp) * 5, size_t(bpp) * 97}) {
                std::vector<uint8_t> row(length), above(length);
                for (auto& v : row) v = static_cast<uint8_t>(rng());
                for (auto& v : above) v = static_cast<uint8_t>(rng());
                std::vector<uint8_t> expected = row;
                referenceReconstruct(type, expected, above, bpp);
                std::vector<uint8_t> fast = row;
                png::reconstructorFor(type, bpp, false)(fast.data(), above.data(), length);
                ASSERT_EQ(fast, expected)
                    << "bpp " << bpp << " type " << type << " length " << length;
                if (bpp % 2 == 0 && length % 2 == 0) {
                    // High bytes only: even positions exact, odd ones untouched.
                    std::vector<uint8_t> high = row;
                    png::reconstructorFor(type, bpp, true)(high.data(), above.data(), length);
                    for (size_t i = 0; i < length; ++i)
                        ASSERT_EQ(high[i], i % 2 == 0 ? expected[i] : row[i]) << i;
                }
            }
        }
    }
}

TEST(PngFilters, OnlyKnownDistances) {
    EXPECT_EQ(png::reconstructorFor(1, 5, false), nullptr);
    EXPECT_EQ(png::reconstructorFor(1, 3, true), nullptr);
    EXPECT_NE(png::reconstructorFor(9, 3, false), nullptr);
}

TEST(PngFilters, PaethPredictorTies) {
    EXPECT_EQ(png::paethPredictor(10, 10, 10), 10);
    EXPECT_EQ(png::paethPredictor(0, 7, 0), 7);  // nothing left: the byte above
    EXPECT_EQ(png::paethPredictor(5, 9, 7), 7);  // p = 7: c wins
    EXPECT_EQ(png::paethPredictor(9, 5, 5), 9);  // p = 9: a
    EXPECT_EQ(png::paethPredictor(5, 9, 5), 9);  // p = 9: b
}

TEST(BlendTable, Entries) {
    png::BlendTable t;
    ASSERT_TRUE(t.build());
    for (int a = 0; a < 256; ++a) {
        for (int v = 0; v < 256; ++v) {
            uint8_t e = t.entry(static_cast<uint8_t>(a), static_cast<uint8_t>(v));
            EXPECT_EQ(e, t.entry(static_cast<uint8_t>(v), static_cast<uint8_t>(a)));
            int expected;
            if (a == 0 || v == 0)
                expected = 0;
            else if (a == 255)
                expected = v;
            else if (v == 255)
                expected = a;
            else {
                int lo = a < v ? a : v, hi = a < v ? v : a;
                expected = static_cast<int>(
                    (static_cast<uint32_t>(hi) * ((lo * 65536u) / 255u) + 32768u) >> 16);
            }
            ASSERT_EQ(e, expected) << a << "," << v;
        }
    }
    // A composite never exceeds 255 and keeps opaque samples.
    for (int a = 0; a < 256; ++a)
        for (int v = 0; v < 256; v += 3)
            for (int bg = 0; bg < 256; bg += 5) {
                int sum = t.entry(static_cast<uint8_t>(a), static_cast<uint8_t>(v)) +
                          t.entry(static_cast<uint8_t>(255 - a), static_cast<uint8_t>(bg));
                ASSERT_LE(sum, 255);
            }
    EXPECT_EQ(t.composite(255, 77, 200), 77);
    EXPECT_EQ(t.composite(0, 77, 200), 200);
    EXPECT_EQ(t.composite(128, 0, 255), 127);
}

TEST(ChunkCrc, MatchesTheByteTable) {
    std::mt19937 rng(5);
    std::vector<uint8_t> data(4099);
    for (auto& v : data) v = static_cast<uint8_t>(rng());
    for (size_t offset : {0, 1, 3, 7})
        for (size_t size : {0, 1, 7, 8, 9, 64, 1000, 4092}) {
            const uint8_t* p = data.data() + offset;
            ASSERT_EQ(png::chunkCrc(p, size), crc32Table().of(p, size)) << offset << " " << size;
        }
    // The CRC of "IEND" with no data.
    const uint8_t iend[4] = {'I', 'E', 'N', 'D'};
    EXPECT_EQ(png::chunkCrc(iend, 4), 0xAE426082u);
}
