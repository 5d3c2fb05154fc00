#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "imaging/color_reducer.h"
#include "imaging/color_reducer_median_cut.h"
#include "imaging/color_reducer_nearest.h"
#include "platform/platform.h"
#include "tests/imaging/reducer_reference.h"

namespace {

struct Bgr {
    uint8_t b, g, r;
    bool operator==(const Bgr&) const = default;
};

size_t stride(int width, int bits) {
    return (size_t(width) * (bits / 8) + 3) & ~size_t{3};
}

// A 24-bit picture with rows padded to 4 bytes.
struct Picture24 {
    int width, height;
    std::vector<uint8_t> pixels;
    Picture24(int w, int h) : width(w), height(h), pixels(stride(w, 24) * h + 4, 0xEE) {}
    void set(int x, int y, Bgr c) {
        uint8_t* p = &pixels[y * stride(width, 24) + 3 * x];
        p[0] = c.b, p[1] = c.g, p[2] = c.r;
    }
    Bgr at(int x, int y) const {
        const uint8_t* p = &pixels[y * stride(width, 24) + 3 * x];
        return {p[0], p[1], p[2]};
    }
};

Bgr colorOf(const RgbQuad& q) {
    return {q.blue, q.green, q.red};
}

// A palette whose entries carry a marker, to see which ones the reducer wrote.
std::vector<RgbQuad> markedPalette() {
    return std::vector<RgbQuad>(256, RgbQuad{1, 2, 3, 0x77});
}

struct Narrowed {
    bool ok;
    std::vector<RgbQuad> palette;
    std::vector<uint8_t> indices;  // width per row, no padding
};

Narrowed narrowToIndices(const Picture24& picture, std::vector<RgbQuad> palette = markedPalette()) {
    ColorReducer reducer;
    reducer.configure(picture.width, picture.height, 24, 8);
    Narrowed result{false, std::move(palette),
                    std::vector<uint8_t>(size_t(picture.width) * picture.height + 4)};
    result.ok = reducer.convertToIndices(nullptr, picture.pixels.data(), result.palette.data(),
                                         result.indices.data());
    return result;
}

Narrowed referenceToIndices(const Picture24& picture) {
    Narrowed result{false, markedPalette(),
                    std::vector<uint8_t>(size_t(picture.width) * picture.height + 4)};
    result.ok = referenceNarrow(picture.width, picture.height, 24, nullptr, picture.pixels.data(),
                                result.palette.data(), result.indices.data());
    return result;
}

void expectSameAsReference(const Picture24& picture) {
    Narrowed fast = narrowToIndices(picture);
    Narrowed slow = referenceToIndices(picture);
    ASSERT_TRUE(fast.ok);
    ASSERT_TRUE(slow.ok);
    ASSERT_EQ(0, std::memcmp(fast.palette.data(), slow.palette.data(), 1024));
    ASSERT_EQ(fast.indices, slow.indices);
}

int sum(const RgbQuad& q) {
    return q.blue + q.green + q.red;
}

}  // namespace

TEST(ColorReducerConfigure, StridesSizesAndClamping) {
    ColorReducer reducer;
    reducer.configure(1, 5, 8, 24);
    EXPECT_EQ(reducer.targetRowBytes(), 3);
    EXPECT_EQ(reducer.targetStride(), 4);
    EXPECT_EQ(reducer.targetImageSize(), 20u);
    reducer.configure(1, 5, 24, 8);
    EXPECT_EQ(reducer.targetRowBytes(), 1);
    EXPECT_EQ(reducer.targetStride(), 4);
    reducer.configure(7, 3, 8, 24);
    EXPECT_EQ(reducer.targetRowBytes(), 21);
    EXPECT_EQ(reducer.targetStride(), 24);
    EXPECT_EQ(reducer.targetImageSize(), 72u);
    reducer.configure(-4, -9, 24, 8);
    EXPECT_EQ(reducer.width(), 0);
    EXPECT_EQ(reducer.height(), 0);
    EXPECT_EQ(reducer.targetImageSize(), 0u);
    // 3 x width beyond 32 bits, and stride x height beyond 32 bits.
    reducer.configure(INT32_MAX, 1, 8, 24);
    EXPECT_EQ(reducer.targetRowBytes(), 0);
    EXPECT_EQ(reducer.targetImageSize(), 0u);
    reducer.configure(65536, 65536, 24, 8);
    EXPECT_EQ(reducer.targetStride(), 65536);
    EXPECT_EQ(reducer.targetImageSize(), 0u);
}

TEST(ColorReducerPairs, UnsupportedPairsAreRefused) {
    std::vector<uint8_t> pixels(64, 0), out(64, 0);
    std::vector<RgbQuad> palette(256), target(256);
    ColorReducer reducer;
    const int pairs[][2] = {{24, 24}, {8, 16}, {16, 8}, {1, 8}, {32, 24}, {0, 0}};
    for (auto& pair : pairs) {
        reducer.configure(2, 2, pair[0], pair[1]);
        EXPECT_FALSE(
            reducer.convertPacked(palette.data(), pixels.data(), target.data(), out.data()))
            << pair[0] << " -> " << pair[1];
    }
    reducer.configure(2, 2, 24, 24);
    EXPECT_FALSE(
        reducer.convertToIndices(palette.data(), pixels.data(), target.data(), out.data()));
    reducer.configure(2, 2, 16, 8);
    EXPECT_FALSE(
        reducer.convertToIndices(palette.data(), pixels.data(), target.data(), out.data()));
}

TEST(ColorReducerPairs, EmptyOrOversizedPicturesAreRefused) {
    std::vector<uint8_t> pixels(64, 0), out(64, 0);
    std::vector<RgbQuad> palette(256), target(256);
    ColorReducer reducer;
    reducer.configure(0, 3, 24, 8);
    EXPECT_FALSE(reducer.convertPacked(nullptr, pixels.data(), target.data(), out.data()));
    EXPECT_FALSE(reducer.convertToIndices(nullptr, pixels.data(), target.data(), out.data()));
    reducer.configure(3, 0, 8, 24);
    EXPECT_FALSE(reducer.convertPacked(palette.data(), pixels.data(), target.data(), out.data()));
    // 4 x width x height beyond 32 bits: refused before any pixel is read.
    reducer.configure(40000, 40000, 24, 8);
    EXPECT_FALSE(reducer.convertPacked(nullptr, pixels.data(), target.data(), out.data()));
    reducer.configure(40000, 40000, 8, 8);
    EXPECT_FALSE(
        reducer.convertToIndices(palette.data(), pixels.data(), target.data(), out.data()));
}

TEST(ColorReducerPairs, CopyAndWiden) {
    const int w = 3, h = 2;
    std::vector<RgbQuad> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), uint8_t(i ^ 0x5A)};
    std::vector<uint8_t> pixels = {0, 1, 2, 0xCC, 200, 255, 17, 0xCC};
    ColorReducer reducer;

    reducer.configure(w, h, 8, 8);
    std::vector<RgbQuad> copied(256);
    std::vector<uint8_t> same(8 + 4, 0);
    ASSERT_TRUE(reducer.convertPacked(palette.data(), pixels.data(), copied.data(), same.data()));
    EXPECT_EQ(0, std::memcmp(copied.data(), palette.data(), 1024));
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), same.begin()));

    reducer.configure(w, h, 8, 24);
    std::vector<uint8_t> wide(reducer.targetImageSize() + 4, 0xEE);
    ASSERT_TRUE(reducer.convertPacked(palette.data(), pixels.data(), nullptr, wide.data()));
    ASSERT_EQ(reducer.targetStride(), 12);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const RgbQuad& q = palette[pixels[y * 4 + x]];
            const uint8_t* p = &wide[y * 12 + 3 * x];
            EXPECT_EQ(Bgr(p[0], p[1], p[2]), colorOf(q)) << x << "," << y;
        }
        EXPECT_EQ(wide[y * 12 + 9], 0);
        EXPECT_EQ(wide[y * 12 + 11], 0);
    }
}

TEST(ColorReducerExact, OneColour) {
    Picture24 picture(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) picture.set(x, y, {9, 8, 7});
    Narrowed result = narrowToIndices(picture);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(colorOf(result.palette[0]), Bgr(9, 8, 7));
    EXPECT_EQ(result.palette[0].reserved, 0x77);  // reserved byte left alone
    EXPECT_EQ(colorOf(result.palette[1]), Bgr(1, 2, 3));
    for (int i = 0; i < 15; ++i) EXPECT_EQ(result.indices[i], 0);
}

TEST(ColorReducerExact, ThreeColoursSortedBySumAndRestUntouched) {
    Picture24 picture(3, 2);
    const Bgr colours[] = {{100, 100, 100}, {0, 0, 50}, {10, 20, 30}};
    for (int i = 0; i < 6; ++i) picture.set(i % 3, i / 3, colours[(i * 2) % 3]);
    Narrowed result = narrowToIndices(picture);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(colorOf(result.palette[0]), Bgr(0, 0, 50));
    EXPECT_EQ(colorOf(result.palette[1]), Bgr(10, 20, 30));
    EXPECT_EQ(colorOf(result.palette[2]), Bgr(100, 100, 100));
    for (int i = 3; i < 256; ++i) {
        EXPECT_EQ(colorOf(result.palette[i]), Bgr(1, 2, 3));
        EXPECT_EQ(result.palette[i].reserved, 0x77);
    }
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(colorOf(result.palette[result.indices[i]]), picture.at(i % 3, i / 3));
}

TEST(ColorReducerExact, EqualSumsAreOrderedBySelectionSwaps) {
    // First met: X (sum 10), Y (sum 10), Z (sum 5). Z is swapped into place 0,
    // which moves X behind Y.
    Picture24 picture(3, 1);
    const Bgr x{10, 0, 0}, y{0, 10, 0}, z{5, 0, 0};
    picture.set(0, 0, x);
    picture.set(1, 0, y);
    picture.set(2, 0, z);
    Narrowed result = narrowToIndices(picture);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(colorOf(result.palette[0]), z);
    EXPECT_EQ(colorOf(result.palette[1]), y);
    EXPECT_EQ(colorOf(result.palette[2]), x);
    EXPECT_EQ(result.indices[0], 2);
    EXPECT_EQ(result.indices[1], 1);
    EXPECT_EQ(result.indices[2], 0);
}

TEST(ColorReducerExact, Exactly256ColoursKeepEveryPixel) {
    Picture24 picture(32, 8);  // also padded rows: 96 bytes, so none; use odd one below
    Picture24 odd(37, 7);      // 259 pixels, 256 colours with a few repeats
    std::mt19937 random(7);
    std::vector<Bgr> colours;
    std::set<uint32_t> used;
    while (colours.size() < 256) {
        Bgr c{uint8_t(random()), uint8_t(random()), uint8_t(random())};
        if (used.insert(c.b | c.g << 8 | c.r << 16).second) colours.push_back(c);
    }
    for (int i = 0; i < 37 * 7; ++i) odd.set(i % 37, i / 37, colours[i % 256]);
    Narrowed result = narrowToIndices(odd);
    ASSERT_TRUE(result.ok);
    for (int i = 1; i < 256; ++i) EXPECT_LE(sum(result.palette[i - 1]), sum(result.palette[i]));
    std::set<uint32_t> inPalette;
    for (auto& q : result.palette) inPalette.insert(q.blue | q.green << 8 | q.red << 16);
    EXPECT_EQ(inPalette, used);
    for (int i = 0; i < 37 * 7; ++i)
        ASSERT_EQ(colorOf(result.palette[result.indices[i]]), odd.at(i % 37, i / 37));
    expectSameAsReference(odd);
    (void)picture;
}

TEST(ColorReducerMedianCut, With257ColoursAllEntriesAreFilled) {
    Picture24 picture(257, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 257; ++x)
            picture.set(x, y, {uint8_t(x % 256), uint8_t(x / 256 * 40 + 1), uint8_t(x * 3 % 256)});
    Narrowed result = narrowToIndices(picture);
    ASSERT_TRUE(result.ok);
    // Every entry is written (green never below 1, so none stays the marker
    // or black); reserved bytes are left alone.
    for (int i = 0; i < 256; ++i) {
        EXPECT_NE(colorOf(result.palette[i]), Bgr(1, 2, 3)) << i;
        EXPECT_GE(result.palette[i].green, 1) << i;
        EXPECT_EQ(result.palette[i].reserved, 0x77);
    }
    expectSameAsReference(picture);
}

TEST(ColorReducerMedianCut, TwoValuesSplitIntoOneBoxEach) {
    using reducer::WeightedColor;
    auto key = [](int b, int g, int r) { return uint32_t(b | g << 8 | r << 16); };
    // Red holds 10 and 250; equal weights put the median at the maximum, so
    // the split value becomes 249.
    std::vector<WeightedColor> colors = {
        {key(0, 5, 10), 3}, {key(0, 6, 250), 2}, {key(0, 7, 10), 1}, {key(0, 4, 250), 2}};
    RgbQuad palette[256] = {};
    reducer::medianCut(colors.data(), 4, 2, palette);
    EXPECT_EQ(colorOf(palette[0]), Bgr(0, 5, 10));
    // Green 4 and 6 twice each: the running count first exceeds half (2) at 6.
    EXPECT_EQ(colorOf(palette[1]), Bgr(0, 6, 250));
    // With more weight on the low value the median is the low value itself.
    colors = {{key(0, 5, 10), 5}, {key(0, 6, 250), 2}, {key(0, 4, 250), 2}};
    reducer::medianCut(colors.data(), 3, 2, palette);
    EXPECT_EQ(colorOf(palette[0]), Bgr(0, 5, 10));
    EXPECT_EQ(colorOf(palette[1]), Bgr(0, 6, 250));
}

TEST(ColorReducerMedianCut, SplitChannelUsesWeightedRanges) {
    using reducer::WeightedColor;
    auto key = [](int b, int g, int r) { return uint32_t(b | g << 8 | r << 16); };
    RgbQuad palette[256] = {};
    // Red range 10 (weight 15) beats green range 7 (weight 14): split on red.
    std::vector<WeightedColor> colors = {{key(0, 0, 0), 1}, {key(0, 7, 10), 1}};
    reducer::medianCut(colors.data(), 2, 2, palette);
    EXPECT_EQ(colorOf(palette[0]), Bgr(0, 0, 0));
    EXPECT_EQ(colorOf(palette[1]), Bgr(0, 7, 10));
    // Red range 10 (15) and blue range 15 (15): red keeps the tie. Each
    // colour on its own side shows the channel used: blue 15 / red 0 split on
    // red would group (15,0,0) with (0,0,0).
    colors = {{key(0, 0, 0), 1}, {key(15, 0, 0), 1}, {key(0, 0, 10), 1}};
    reducer::medianCut(colors.data(), 3, 2, palette);
    EXPECT_EQ(colorOf(palette[1]), Bgr(0, 0, 10));
    // Blue range 16 beats red's 15.
    colors = {{key(0, 0, 0), 1}, {key(16, 0, 0), 1}, {key(0, 0, 10), 1}};
    reducer::medianCut(colors.data(), 3, 2, palette);
    EXPECT_EQ(colorOf(palette[1]), Bgr(16, 0, 0));
}

TEST(ColorReducerNearest, EqualDistancesTakeTheLowerIndex) {
    int32_t squares[511];
    for (int d = -255; d <= 255; ++d) squares[d + 255] = d * d;
    RgbQuad palette[256];
    for (auto& q : palette) q = {200, 200, 200, 0};
    palette[7] = {10, 20, 30, 0};
    palette[3] = {10, 40, 30, 0};  // same distance from (10, 30, 30), lower index
    palette[9] = {10, 30, 30, 0};
    palette[12] = {10, 30, 30, 0};
    reducer::NearestColorSearch search(palette, squares + 255);
    EXPECT_EQ(search.find(10 | 30 << 8 | 30 << 16), 9);  // exact match, first of the two
    palette[9] = palette[12] = {200, 200, 200, 0};
    reducer::NearestColorSearch again(palette, squares + 255);
    EXPECT_EQ(again.find(10 | 30 << 8 | 30 << 16), 3);
    EXPECT_EQ(referenceNearestIndex(palette, 10, 30, 30), 3);
}

// The one-colour search looks at the first `entries` entries only.
TEST(ColorReducerNearest, PlainSearchStopsAtTheEntryCount) {
    RgbQuad palette[256] = {};
    palette[0] = {0, 0, 0, 0};
    palette[1] = {100, 100, 100, 0};
    palette[2] = {10, 20, 30, 0};  // exact, but beyond two entries
    palette[3] = {10, 20, 30, 0};
    EXPECT_EQ(reducer::nearestPaletteIndex(palette, 0, 30, 20, 10), 0);
    EXPECT_EQ(reducer::nearestPaletteIndex(palette, 2, 30, 20, 10), 0);
    EXPECT_EQ(reducer::nearestPaletteIndex(palette, 2, 90, 90, 90), 1);
    EXPECT_EQ(reducer::nearestPaletteIndex(palette, 4, 30, 20, 10), 2);
}

TEST(ColorReducerNearest, MatchesLinearSearchOnRandomPalettes) {
    int32_t squares[511];
    for (int d = -255; d <= 255; ++d) squares[d + 255] = d * d;
    std::mt19937 random(42);
    for (int round = 0; round < 20; ++round) {
        RgbQuad palette[256];
        // Coarse values make ties and duplicates common; a palette packed
        // into a small corner leaves most cells far from every entry.
        const int kind = round % 3;
        for (auto& q : palette) {
            auto value = [&] {
                if (kind == 0) return uint8_t(random() % 256 / 32 * 32);
                if (kind == 1) return uint8_t(random() % 256);
                return uint8_t(100 + random() % 20);
            };
            q = {value(), value(), value(), 0};
        }
        reducer::NearestColorSearch search(palette, squares + 255);
        for (int i = 0; i < 5000; ++i) {
            uint32_t key = random() & 0xFFFFFF;
            if (i % 2) key &= 0xF0F0F0;
            const uint8_t expected =
                referenceNearestIndex(palette, key & 255, key >> 8 & 255, key >> 16);
            ASSERT_EQ(search.find(key), expected);
            ASSERT_EQ(reducer::nearestPaletteIndex(palette, 256, uint8_t(key >> 16),
                                                   uint8_t(key >> 8), uint8_t(key)),
                      expected);
        }
        // A sweep through the cube: both sides of every 16-value border.
        if (round < 3) {
            std::vector<int> values;
            for (int v = 0; v < 256; v += 16) values.insert(values.end(), {v, v + 7, v + 15});
            for (int r : values)
                for (int g : values)
                    for (int b : values)
                        ASSERT_EQ(search.find(uint32_t(b | g << 8 | r << 16)),
                                  referenceNearestIndex(palette, b, g, r));
        }
    }
}

TEST(ColorReducerMedianCut, MatchesReferenceOnRandomPictures) {
    std::mt19937 random(1234);
    const int sizes[][2] = {{1, 300}, {300, 1}, {17, 23}, {64, 48}, {101, 77}};
    for (auto& size : sizes) {
        for (int levels : {2, 7, 64, 256}) {
            Picture24 picture(size[0], size[1]);
            for (int y = 0; y < size[1]; ++y)
                for (int x = 0; x < size[0]; ++x)
                    picture.set(x, y,
                                {uint8_t(random() % levels * (255 / (levels - 1))),
                                 uint8_t(random() % levels * (255 / (levels - 1))),
                                 uint8_t(random() % levels * (255 / (levels - 1)))});
            SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << " levels " << levels);
            expectSameAsReference(picture);
        }
    }
}

TEST(ColorReducerMedianCut, MatchesReferenceOnPhotoLikePicture) {
    // Smooth gradients with mild noise, like a photograph: many near colours.
    const int w = 161, h = 120;  // odd width: padded target rows
    Picture24 picture(w, h);
    std::mt19937 random(99);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int noise = int(random() % 9) - 4;
            auto clamp = [](int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
            picture.set(x, y,
                        {clamp(40 + x + noise), clamp(60 + y + (x * y) / 200 + noise),
                         clamp(200 - x / 2 + noise)});
        }
    expectSameAsReference(picture);

    // convertPacked gives the same indices at the padded stride.
    ColorReducer reducer;
    reducer.configure(w, h, 24, 8);
    std::vector<RgbQuad> palette = markedPalette();
    std::vector<uint8_t> packed(reducer.targetImageSize() + 4, 0xEE);
    ASSERT_TRUE(
        reducer.convertPacked(nullptr, picture.pixels.data(), palette.data(), packed.data()));
    Narrowed slow = referenceToIndices(picture);
    ASSERT_EQ(0, std::memcmp(palette.data(), slow.palette.data(), 1024));
    ASSERT_EQ(reducer.targetStride(), 164);
    for (int y = 0; y < h; ++y) {
        ASSERT_EQ(0, std::memcmp(&packed[y * reducer.targetStride()], &slow.indices[y * w], w));
        for (int x = w; x < 164; ++x) ASSERT_EQ(packed[y * 164 + x], 0);  // padding zeroed
    }
}

TEST(ColorReducerIndices, EightBitSourceKeepsPaletteOrderWithoutRepeats) {
    std::vector<RgbQuad> source(256, RgbQuad{0, 0, 0, 0});
    source[0] = {1, 2, 3, 9};
    source[1] = {4, 5, 6, 0};
    source[2] = {1, 2, 3, 5};  // repeat of entry 0 (reserved differs)
    source[4] = {7, 7, 7, 0};
    source[5] = {4, 5, 6, 0};  // repeat of entry 1
    // 5 x 2 picture, rows padded to 8 bytes.
    std::vector<uint8_t> pixels = {2, 5, 200, 4, 0, 0xCC, 0xCC, 0xCC,
                                   1, 3, 2,   0, 4, 0xCC, 0xCC, 0xCC};
    ColorReducer reducer;
    reducer.configure(5, 2, 8, 8);
    std::vector<RgbQuad> palette(256, RgbQuad{0, 0, 0, 0});
    std::vector<uint8_t> indices(10 + 4, 0xEE);
    ASSERT_TRUE(
        reducer.convertToIndices(source.data(), pixels.data(), palette.data(), indices.data()));
    // Kept in order: entry 0 (whole, reserved 9), 1, 3 (black), 4.
    EXPECT_EQ(palette[0].reserved, 9);
    EXPECT_EQ(colorOf(palette[0]), Bgr(1, 2, 3));
    EXPECT_EQ(colorOf(palette[1]), Bgr(4, 5, 6));
    EXPECT_EQ(colorOf(palette[2]), Bgr(0, 0, 0));
    EXPECT_EQ(colorOf(palette[3]), Bgr(7, 7, 7));
    const std::vector<uint8_t> expected = {0, 1, 2, 3, 0, 1, 2, 0, 0, 3};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), indices.begin()));
    EXPECT_EQ(indices[10], 0xEE);  // rows of exactly width bytes, nothing beyond

    std::vector<RgbQuad> slowPalette(256, RgbQuad{0, 0, 0, 0});
    std::vector<uint8_t> slow(10);
    ASSERT_TRUE(
        referenceNarrow(5, 2, 8, source.data(), pixels.data(), slowPalette.data(), slow.data()));
    EXPECT_EQ(0, std::memcmp(slowPalette.data(), palette.data(), 1024));
    EXPECT_TRUE(std::equal(slow.begin(), slow.end(), indices.begin()));
}

TEST(ColorReducerIndices, RandomEightBitPicturesMatchReference) {
    std::mt19937 random(5);
    for (int round = 0; round < 10; ++round) {
        std::vector<RgbQuad> source(256);
        for (auto& q : source)
            q = {uint8_t(random() % 4 * 80), uint8_t(random() % 4 * 80), uint8_t(random() % 3),
                 uint8_t(random())};
        const int w = 13 + round, h = 9;
        std::vector<uint8_t> pixels(stride(w, 8) * h);
        for (auto& p : pixels) p = uint8_t(random());
        ColorReducer reducer;
        reducer.configure(w, h, 8, 8);
        std::vector<RgbQuad> fast(256, RgbQuad{}), slow(256, RgbQuad{});
        std::vector<uint8_t> fastIndices(w * h), slowIndices(w * h);
        ASSERT_TRUE(reducer.convertToIndices(source.data(), pixels.data(), fast.data(),
                                             fastIndices.data()));
        ASSERT_TRUE(referenceNarrow(w, h, 8, source.data(), pixels.data(), slow.data(),
                                    slowIndices.data()));
        EXPECT_EQ(0, std::memcmp(fast.data(), slow.data(), 1024));
        EXPECT_EQ(fastIndices, slowIndices);
    }
}

TEST(ColorReducerFailure, RefusedSquareTableFailsNarrowingButNotWidening) {
    std::vector<uint8_t> pixels(64, 1), out(64, 0);
    std::vector<RgbQuad> palette(256), target(256);
    ColorReducer reducer;
    platform::privateHeap().refuseAfter(0);
    reducer.configure(2, 2, 24, 8);
    bool narrowed = reducer.convertPacked(nullptr, pixels.data(), target.data(), out.data());
    reducer.configure(2, 2, 8, 24);
    bool widened = reducer.convertPacked(palette.data(), pixels.data(), nullptr, out.data());
    platform::privateHeap().refuseAfter(-1);
    EXPECT_FALSE(narrowed);
    EXPECT_TRUE(widened);
    // The table is made on the next narrowing once memory is available.
    reducer.configure(2, 2, 24, 8);
    EXPECT_TRUE(reducer.convertPacked(nullptr, pixels.data(), target.data(), out.data()));
}

TEST(ColorReducerState, ReusedReducerGivesTheSameResult) {
    Picture24 a(40, 30), b(7, 5);
    std::mt19937 random(3);
    for (int i = 0; i < 40 * 30; ++i)
        a.set(i % 40, i / 40, {uint8_t(random()), uint8_t(random()), uint8_t(random())});
    for (int i = 0; i < 35; ++i) b.set(i % 7, i / 7, {uint8_t(i), 0, 0});
    ColorReducer reducer;
    for (const Picture24* p : {&a, &b, &a}) {
        reducer.configure(p->width, p->height, 24, 8);
        std::vector<RgbQuad> palette = markedPalette();
        std::vector<uint8_t> out(size_t(p->width) * p->height);
        ASSERT_TRUE(
            reducer.convertToIndices(nullptr, p->pixels.data(), palette.data(), out.data()));
        Narrowed fresh = narrowToIndices(*p);
        EXPECT_EQ(0, std::memcmp(palette.data(), fresh.palette.data(), 1024));
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.end()),
                  std::vector<uint8_t>(fresh.indices.begin(), fresh.indices.begin() + out.size()));
    }
}
