#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "imaging/sharpen.h"
#include "platform/platform.h"
#include "tests/imaging/resample_reference.h"

namespace {

using reference::Picture;

// Runs the whole pass (amount 3, threshold 20 unless told) into `out`.
bool runPass(SharpenEngine& engine, const Picture& source, Picture& out, int amount = 3,
             int threshold = 20) {
    out = Picture(source.width, source.height);
    engine.setPicture(source.width, source.height, static_cast<int32_t>(source.stride()),
                      source.bytes.data(), out.bytes.data());
    const bool ok = engine.computeDifference() && engine.sharpen(amount, threshold);
    engine.releaseDifference();
    return ok;
}

Picture filled(int32_t w, int32_t h, uint8_t b, uint8_t g, uint8_t r) {
    Picture p(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            p.at(x, y)[0] = b;
            p.at(x, y)[1] = g;
            p.at(x, y)[2] = r;
        }
    return p;
}

// A 5 x 5 picture of grey 100 whose centre pixel is (b, g, r): the centre's
// blur window covers the picture exactly once.
Picture centred(int b, int g, int r, uint8_t background = 100) {
    Picture p = filled(5, 5, background, background, background);
    p.at(2, 2)[0] = static_cast<uint8_t>(b);
    p.at(2, 2)[1] = static_cast<uint8_t>(g);
    p.at(2, 2)[2] = static_cast<uint8_t>(r);
    return p;
}

std::vector<int> centreOf(const Picture& p) {
    return {p.at(2, 2)[0], p.at(2, 2)[1], p.at(2, 2)[2]};
}

TEST(SharpenTables, DivideBy25IsOneStepEarlyFromHundredTwenty) {
    SharpenEngine engine;
    ASSERT_TRUE(engine.ready());
    const uint8_t* table = engine.divideBy25Table();
    for (int i = 0; i <= 2987; ++i) ASSERT_EQ(table[i], static_cast<int>(i / 25.0 + 0.5)) << i;
    EXPECT_EQ(table[2988], 119);
    EXPECT_EQ(table[2989], 120);
    EXPECT_EQ(table[6363], 254);
    for (int i = 6364; i <= 6375; ++i) EXPECT_EQ(table[i], 255) << i;
    for (int v = 120; v <= 255; ++v) {
        EXPECT_EQ(table[25 * v - 11], v) << v;
        EXPECT_EQ(table[25 * v - 12], v - 1) << v;
    }
    for (int i = 0; i < SharpenEngine::kDivideBy25Entries; ++i)
        ASSERT_EQ(table[i], reference::divideBy25(i)) << i;
}

TEST(SharpenTables, GainIsTheFloorOfAnEighthAndClampLimits) {
    SharpenEngine engine;
    ASSERT_TRUE(engine.ready());
    const int16_t* zero = engine.gainRow(0);
    const int16_t* three = engine.gainRow(3);
    const int16_t* hundred = engine.gainRow(100);
    ASSERT_TRUE(zero && three && hundred);
    EXPECT_EQ(engine.gainRow(101), nullptr);
    EXPECT_EQ(engine.gainRow(-1), nullptr);
    for (int d = -128; d < 128; ++d) {
        EXPECT_EQ(zero[d + 128], 0);
        EXPECT_EQ(three[d + 128], (3 * d) >> 3);
    }
    EXPECT_EQ(three[-1 + 128], -1);
    EXPECT_EQ(three[40 + 128], 15);
    EXPECT_EQ(three[-40 + 128], -15);
    EXPECT_EQ(three[127 + 128], 47);
    EXPECT_EQ(three[-128 + 128], -48);
    EXPECT_EQ(hundred[-128 + 128], -1600);
    EXPECT_EQ(hundred[127 + 128], 1587);

    EXPECT_EQ(engine.clamp(-1600), 0);
    EXPECT_EQ(engine.clamp(0), 0);
    EXPECT_EQ(engine.clamp(1), 1);
    EXPECT_EQ(engine.clamp(254), 254);
    EXPECT_EQ(engine.clamp(255), 255);
    EXPECT_EQ(engine.clamp(1842), 255);
    EXPECT_EQ(SharpenEngine::kGainBlockBytes, 55155);
    EXPECT_EQ(SharpenEngine::kGainTableBytes, 51712);
    EXPECT_EQ(SharpenEngine::kClampTableBytes, 3443);
}

TEST(Sharpen, ThresholdIsOnTheSumOfTheThreeDifferences) {
    SharpenEngine engine;
    Picture out;
    // Differences 7, 7, 7: the centre's blur stays 100.
    ASSERT_TRUE(runPass(engine, centred(107, 107, 107), out));
    EXPECT_EQ(centreOf(out), (std::vector<int>{109, 109, 109}));
    // 7, 7, 6 add up to 20, which is not above the threshold.
    ASSERT_TRUE(runPass(engine, centred(107, 107, 106), out));
    EXPECT_EQ(centreOf(out), (std::vector<int>{107, 107, 106}));
    EXPECT_EQ(out.bytes, centred(107, 107, 106).bytes);
}

TEST(Sharpen, GainIsTheFloorOfThreeEighths) {
    SharpenEngine engine;
    Picture out;
    // Centre 99, 142, 58 on grey 100 blurs to 100, 102, 98: differences -1, 40, -40.
    ASSERT_TRUE(runPass(engine, centred(99, 142, 58), out));
    EXPECT_EQ(centreOf(out), (std::vector<int>{98, 157, 43}));
}

TEST(Sharpen, LargeDifferencesAreLimitedAndResultsClamped) {
    SharpenEngine engine;
    Picture out;
    // 200 on black blurs to 8: difference 192, limited to 127, gives +47.
    ASSERT_TRUE(runPass(engine, centred(200, 200, 200, 0), out));
    EXPECT_EQ(centreOf(out), (std::vector<int>{247, 247, 247}));
    // 50 on white blurs to 247: difference -197, limited to -128, gives -48.
    ASSERT_TRUE(runPass(engine, centred(50, 50, 50, 255), out));
    EXPECT_EQ(centreOf(out), (std::vector<int>{2, 2, 2}));
    // 250 + 47 is clamped to 255; 20 - 48 to 0.
    ASSERT_TRUE(runPass(engine, centred(250, 250, 250, 0), out));
    EXPECT_EQ(centreOf(out), (std::vector<int>{255, 255, 255}));
    ASSERT_TRUE(runPass(engine, centred(20, 20, 20, 255), out));
    EXPECT_EQ(centreOf(out), (std::vector<int>{0, 0, 0}));
}

TEST(Sharpen, OneColourPicturesAreUnchanged) {
    SharpenEngine engine;
    for (auto [w, h] : {std::pair{5, 5}, {17, 9}, {1, 1}, {300, 7}}) {
        for (int colour : {0, 1, 119, 120, 200, 254, 255}) {
            const Picture source = filled(w, h, colour, 255 - colour, colour / 3);
            Picture out;
            ASSERT_TRUE(runPass(engine, source, out));
            ASSERT_EQ(out.bytes, source.bytes) << w << "x" << h << " colour " << colour;
        }
    }
}

TEST(Sharpen, BlurAndPassMatchTheDirectFormOnRandomPictures) {
    SharpenEngine engine;
    ASSERT_TRUE(engine.ready());
    std::mt19937 rng(42);
    std::vector<std::pair<int, int>> sizes = {{5, 5}, {6, 7},   {1000, 3}, {3, 1000}, {1, 1},
                                              {2, 2}, {1, 9},   {9, 1},    {4, 100},  {100, 4},
                                              {7, 6}, {64, 64}, {33, 17},  {301, 203}};
    std::uniform_int_distribution<int> side(1, 40);
    for (int i = 0; i < 60; ++i) sizes.push_back({side(rng), side(rng)});
    for (auto [w, h] : sizes) {
        for (bool smooth : {false, true}) {
            const Picture source = reference::randomPicture(w, h, rng, smooth);
            Picture out(w, h);
            engine.setPicture(w, h, static_cast<int32_t>(source.stride()), source.bytes.data(),
                              out.bytes.data());
            ASSERT_TRUE(engine.computeDifference());
            // After the blur step the destination holds the blurred picture.
            const Picture blurred = reference::blur(source);
            ASSERT_EQ(out.bytes, blurred.bytes) << w << "x" << h;
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < 3 * w; ++x) {
                    const int d = std::clamp(source.at(0, y)[x] - blurred.at(0, y)[x], -128, 127);
                    ASSERT_EQ(engine.difference()[y * source.stride() + x], d);
                }
            ASSERT_TRUE(engine.sharpen(3, 20));
            ASSERT_EQ(out.bytes, reference::sharpen(source, 3, 20).bytes) << w << "x" << h;
            ASSERT_TRUE(engine.sharpen(100, 0));
            ASSERT_EQ(out.bytes, reference::sharpen(source, 100, 0).bytes) << w << "x" << h;
        }
    }
}

TEST(Sharpen, WiderStrideIsHonoured) {
    SharpenEngine engine;
    std::mt19937 rng(8);
    const Picture packed = reference::randomPicture(6, 5, rng);
    // The same pixels in rows of 40 bytes.
    std::vector<uint8_t> source(40 * 5 + 4), out(40 * 5 + 4);
    for (int y = 0; y < 5; ++y) std::memcpy(&source[40 * y], packed.at(0, y), 18);
    engine.setPicture(6, 5, 40, source.data(), out.data());
    ASSERT_TRUE(engine.computeDifference());
    ASSERT_TRUE(engine.sharpen(3, 20));
    const Picture expected = reference::sharpen(packed, 3, 20);
    for (int y = 0; y < 5; ++y) EXPECT_EQ(0, std::memcmp(&out[40 * y], expected.at(0, y), 18));
}

TEST(Sharpen, RefusesWithoutDifferenceOrWithBadPicture) {
    SharpenEngine engine;
    std::mt19937 rng(4);
    const Picture source = reference::randomPicture(8, 8, rng);
    Picture out(8, 8);
    engine.setPicture(8, 8, static_cast<int32_t>(source.stride()), source.bytes.data(),
                      out.bytes.data());
    EXPECT_FALSE(engine.sharpen(3, 20));  // no difference yet
    ASSERT_TRUE(engine.computeDifference());
    EXPECT_FALSE(engine.sharpen(101, 20));
    EXPECT_FALSE(engine.sharpen(-1, 20));
    // A new picture drops the differences of the old one.
    engine.setPicture(8, 8, static_cast<int32_t>(source.stride()), source.bytes.data(),
                      out.bytes.data());
    EXPECT_FALSE(engine.sharpen(3, 20));

    engine.setPicture(8, 8, 23, source.bytes.data(), out.bytes.data());  // stride below 3 * width
    EXPECT_FALSE(engine.computeDifference());
    engine.setPicture(0, 8, 24, source.bytes.data(), out.bytes.data());
    EXPECT_FALSE(engine.computeDifference());
    engine.setPicture(8, -1, 24, source.bytes.data(), out.bytes.data());
    EXPECT_FALSE(engine.computeDifference());
    engine.setPicture(8, 8, 24, nullptr, out.bytes.data());
    EXPECT_FALSE(engine.computeDifference());
    engine.setPicture(8, 8, 24, source.bytes.data(), nullptr);
    EXPECT_FALSE(engine.computeDifference());
    // More than 4 GiB of differences is refused before anything is read.
    engine.setPicture(700000000, 3, 2100000000, source.bytes.data(), out.bytes.data());
    EXPECT_FALSE(engine.computeDifference());
}

TEST(Sharpen, TablesRefusedLeaveTheEngineNotReady) {
    platform::PrivateHeap& heap = platform::privateHeap();
    const size_t before = heap.liveBlocks();
    for (long allowed : {0L, 1L}) {
        heap.refuseAfter(allowed);
        {
            SharpenEngine engine;
            heap.refuseAfter(-1);
            EXPECT_FALSE(engine.ready());
            EXPECT_EQ(engine.divideBy25Table() == nullptr || engine.gainRow(3) == nullptr, true);
            const Picture source = filled(6, 6, 1, 2, 3);
            Picture out;
            EXPECT_FALSE(runPass(engine, source, out));
        }
        EXPECT_EQ(heap.liveBlocks(), before);
    }
    {
        SharpenEngine engine;
        EXPECT_TRUE(engine.ready());
        EXPECT_EQ(heap.liveBlocks(), before + 2);
    }
    EXPECT_EQ(heap.liveBlocks(), before);
}

}  // namespace
