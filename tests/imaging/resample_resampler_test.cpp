#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/image_record.h"
#include "imaging/resampler.h"
#include "platform/platform.h"
#include "tests/imaging/resample_reference.h"

namespace {

using reference::Picture;

// Runs the engine on a picture; the destination starts zero-filled like a
// fresh page allocation.
bool shrink(Resampler& resampler, const Picture& source, Picture& target) {
    resampler.sourceWidth = source.width;
    resampler.sourceHeight = source.height;
    resampler.sourcePixels = source.bytes.data();
    resampler.destinationPixels = target.bytes.data();
    return resampler.resample(target.width, target.height);
}

Picture row(std::initializer_list<uint8_t> values) {
    Picture p(static_cast<int32_t>(values.size()), 1);
    int32_t x = 0;
    for (uint8_t v : values) {
        // Blue carries the values; green and red are derived so that the
        // channels are seen to be handled independently.
        p.at(x, 0)[0] = v;
        p.at(x, 0)[1] = static_cast<uint8_t>(255 - v);
        p.at(x, 0)[2] = static_cast<uint8_t>(v / 2);
        ++x;
    }
    return p;
}

int roundedMean(std::initializer_list<int> values) {
    int sum = 0;
    for (int v : values) sum += v;
    return static_cast<int>(static_cast<double>(sum) / values.size() + 0.5);
}

TEST(ShrinkTable, EntriesAreRoundedMeansAndTheEndIsFull) {
    ASSERT_EQ(shrinkTableSize(2.0), 512u);  // L = 510
    std::vector<uint8_t> table(512);
    fillShrinkTable(2.0, table.data());
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[1], 1);  // 0.5 + 0.5
    EXPECT_EQ(table[3], 2);
    EXPECT_EQ(table[509], 255);
    EXPECT_EQ(table[510], 255);
    EXPECT_EQ(table[511], 255);

    ASSERT_EQ(shrinkTableSize(1.5), 385u);  // L = floor(382.5 + 0.5) = 383
    EXPECT_EQ(shrinkTableSize(1.0), 257u);
    EXPECT_EQ(shrinkTableSize(0.5), 0u);         // enlarging has no table
    EXPECT_EQ(shrinkTableSize(20000000.0), 0u);  // totals would not fit in 32 bits
    for (double r : {1.0, 1.5, 2.0, 3.3333333333333335, 7.0, 250.5}) {
        std::vector<uint8_t> mine(shrinkTableSize(r));
        fillShrinkTable(r, mine.data());
        EXPECT_EQ(mine, reference::shrinkTable(r)) << r;
    }
}

TEST(Resampler, TenPixelsToFiveAreMeansOfNeighbours) {
    const Picture source = row({0, 255, 1, 2, 10, 20, 100, 101, 254, 255});
    Picture target(5, 1);
    Resampler resampler;
    ASSERT_TRUE(shrink(resampler, source, target));
    const int expected[5] = {128, 2, 15, 101, 255};
    for (int x = 0; x < 5; ++x) {
        const uint8_t a = source.at(2 * x, 0)[0], b = source.at(2 * x + 1, 0)[0];
        EXPECT_EQ(target.at(x, 0)[0], expected[x]);
        EXPECT_EQ(target.at(x, 0)[0], roundedMean({a, b}));
        EXPECT_EQ(target.at(x, 0)[1], roundedMean({255 - a, 255 - b}));
        EXPECT_EQ(target.at(x, 0)[2], roundedMean({a / 2, b / 2}));
    }
}

TEST(Resampler, ThreePixelsToOneIsTheMeanOfAll) {
    const Picture source = row({10, 20, 31});
    Picture target(1, 1);
    Resampler resampler;
    ASSERT_TRUE(shrink(resampler, source, target));
    EXPECT_EQ(target.at(0, 0)[0], 20);
    EXPECT_EQ(target.at(0, 0)[1], roundedMean({245, 235, 224}));
    EXPECT_EQ(target.at(0, 0)[2], roundedMean({5, 10, 15}));
}

TEST(Resampler, ThreePixelsToTwoSplitTheMiddleOne) {
    const Picture source = row({100, 51, 200});
    Picture target(2, 1);
    Resampler resampler;
    ASSERT_TRUE(shrink(resampler, source, target));
    // carry = floor(51 * 0.5 + 0.5) = 26; (100 + 51 - 26) / 1.5 = 83.3; (26 + 200) / 1.5 = 150.7
    EXPECT_EQ(target.at(0, 0)[0], 83);
    EXPECT_EQ(target.at(1, 0)[0], 151);
    // Green: 155, 204, 55; carry = floor(102 + 0.5) = 102 -> 171.3 and 104.7
    EXPECT_EQ(target.at(0, 0)[1], 171);
    EXPECT_EQ(target.at(1, 0)[1], 105);
}

TEST(Resampler, WidthOneAveragesTheWholeRow) {
    const Picture source = row({1, 2, 3, 4, 5, 6, 200});
    Picture target(1, 1);
    Resampler resampler;
    ASSERT_TRUE(shrink(resampler, source, target));
    EXPECT_EQ(target.at(0, 0)[0], roundedMean({1, 2, 3, 4, 5, 6, 200}));
    EXPECT_EQ(target.at(0, 0)[0], 32);
}

TEST(Resampler, ColumnsShrinkLikeRows) {
    std::mt19937 rng(7);
    const Picture wide = reference::randomPicture(9, 1, rng);
    Picture tall(1, 9);
    for (int i = 0; i < 9; ++i) std::memcpy(tall.at(0, i), wide.at(i, 0), 3);
    Picture fromWide(4, 1), fromTall(1, 4);
    Resampler resampler;
    ASSERT_TRUE(shrink(resampler, wide, fromWide));
    ASSERT_TRUE(shrink(resampler, tall, fromTall));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(0, std::memcmp(fromWide.at(i, 0), fromTall.at(0, i), 3)) << i;
}

TEST(Resampler, OnlyTheHeightChangingNeedsNoIntermediate) {
    std::mt19937 rng(1);
    const Picture source = reference::randomPicture(13, 40, rng);
    Resampler resampler;
    Picture lower(13, 17), narrower(5, 40), both(5, 17);
    ASSERT_TRUE(shrink(resampler, source, lower));
    EXPECT_FALSE(resampler.usedIntermediate());
    EXPECT_EQ(lower.bytes, reference::shrinkHeight(source, 17).bytes);
    ASSERT_TRUE(shrink(resampler, source, narrower));
    EXPECT_FALSE(resampler.usedIntermediate());
    EXPECT_EQ(narrower.bytes, reference::shrinkWidth(source, 5).bytes);
    ASSERT_TRUE(shrink(resampler, source, both));
    EXPECT_TRUE(resampler.usedIntermediate());
}

TEST(Resampler, BothSidesChangeHeightFirst) {
    std::mt19937 rng(3);
    int orderMatters = 0;
    for (int i = 0; i < 40; ++i) {
        const Picture source = reference::randomPicture(11, 7, rng);
        Picture target(4, 3);
        Resampler resampler;
        ASSERT_TRUE(shrink(resampler, source, target));
        const Picture heightFirst = reference::shrinkWidth(reference::shrinkHeight(source, 3), 4);
        const Picture widthFirst = reference::shrinkHeight(reference::shrinkWidth(source, 4), 3);
        EXPECT_EQ(target.bytes, heightFirst.bytes);
        if (heightFirst.bytes != widthFirst.bytes) ++orderMatters;
    }
    // Otherwise the test could not tell the two orders apart.
    EXPECT_GT(orderMatters, 0);
}

TEST(Resampler, UnchangedSizeCopies) {
    std::mt19937 rng(5);
    const Picture source = reference::randomPicture(6, 5, rng);
    Picture target(6, 5);
    Resampler resampler;
    ASSERT_TRUE(shrink(resampler, source, target));
    EXPECT_EQ(target.pixelBytes(), source.pixelBytes());
}

TEST(Resampler, MatchesTheStraightforwardVersionOnRandomPictures) {
    std::mt19937 rng(2024);
    struct Case {
        int32_t w, h, tw, th;
    };
    std::vector<Case> cases = {{1, 1, 1, 1},
                               {2, 1, 1, 1},
                               {1, 9, 1, 2},
                               {1000, 3, 100, 1},
                               {3, 1000, 1, 100},
                               {7, 3, 3, 3},
                               {10, 10, 3, 7},
                               {97, 61, 96, 60},
                               {640, 480, 100, 75},
                               {257, 3, 2, 2},
                               {300, 200, 299, 1},
                               {5, 5, 5, 4},
                               {1601, 1200, 1600, 1199},
                               {4000, 3, 1600, 1},
                               {2, 700, 1, 1}};
    std::uniform_int_distribution<int> side(1, 90);
    for (int i = 0; i < 120; ++i) {
        const int32_t w = side(rng), h = side(rng);
        cases.push_back({w, h, std::uniform_int_distribution<int>(1, w)(rng),
                         std::uniform_int_distribution<int>(1, h)(rng)});
    }
    for (const Case& c : cases) {
        const Picture source = reference::randomPicture(c.w, c.h, rng, c.w % 2 == 0);
        Picture target(c.tw, c.th);
        Resampler resampler;
        ASSERT_TRUE(shrink(resampler, source, target));
        ASSERT_EQ(target.bytes, reference::resample(source, c.tw, c.th).bytes)
            << c.w << "x" << c.h << " -> " << c.tw << "x" << c.th;
    }
}

TEST(Resampler, ExtremeValuesStayInsideTheTable) {
    // All 255 reaches the top of every span total; all 0 the bottom.
    for (uint8_t fill : {uint8_t{0}, uint8_t{255}}) {
        for (auto [w, tw] : {std::pair{10, 3}, {1000, 7}, {97, 13}, {3, 2}, {1024, 3}}) {
            Picture source(w, 3);
            for (int y = 0; y < 3; ++y) std::memset(source.at(0, y), fill, 3 * w);
            Picture target(tw, 2);
            Resampler resampler;
            ASSERT_TRUE(shrink(resampler, source, target));
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3 * tw; ++x) ASSERT_EQ(target.at(0, y)[x], fill);
        }
    }
}

TEST(Resampler, RefusesWhatItCannotDo) {
    std::mt19937 rng(9);
    const Picture source = reference::randomPicture(8, 6, rng);
    Picture target(8, 6);
    Resampler resampler;
    resampler.sourceWidth = 8;
    resampler.sourceHeight = 6;
    resampler.sourcePixels = source.bytes.data();
    resampler.destinationPixels = target.bytes.data();
    EXPECT_FALSE(resampler.resample(0, 3));
    EXPECT_FALSE(resampler.resample(3, 0));
    EXPECT_FALSE(resampler.resample(-1, 3));
    EXPECT_FALSE(resampler.resample(9, 3));  // never enlarges
    EXPECT_FALSE(resampler.resample(3, 7));
    resampler.sourcePixels = nullptr;
    EXPECT_FALSE(resampler.resample(3, 3));
    resampler.sourcePixels = source.bytes.data();
    resampler.destinationPixels = nullptr;
    EXPECT_FALSE(resampler.resample(3, 3));
    resampler.destinationPixels = target.bytes.data();
    resampler.sourceWidth = 0;
    EXPECT_FALSE(resampler.resample(1, 1));
}

TEST(Resampler, CallLeavesItsFieldsAsSet) {
    std::mt19937 rng(11);
    const Picture source = reference::randomPicture(8, 6, rng);
    Picture target(3, 2);
    Resampler resampler;
    ASSERT_TRUE(shrink(resampler, source, target));
    EXPECT_EQ(resampler.sourceWidth, 8);
    EXPECT_EQ(resampler.sourceHeight, 6);
    EXPECT_EQ(resampler.sourcePixels, source.bytes.data());
    EXPECT_EQ(resampler.destinationPixels, target.bytes.data());
}

TEST(Resampler, IntermediateTooLargeForThirtyTwoBitsFails) {
    // stride(100000) * 20000 rows is more than 4 GiB: refused before any pixel is read.
    uint8_t dummy[16] = {};
    Resampler resampler;
    resampler.sourceWidth = 100000;
    resampler.sourceHeight = 30000;
    resampler.sourcePixels = dummy;
    resampler.destinationPixels = dummy;
    EXPECT_FALSE(resampler.resample(50000, 20000));
}

TEST(Resampler, WorkAreasRefusedMakeItFailAndNothingLeaks) {
    std::mt19937 rng(13);
    const Picture source = reference::randomPicture(30, 20, rng);
    platform::PrivateHeap& heap = platform::privateHeap();
    const size_t before = heap.liveBlocks();
    for (long allowed = 0; allowed < 8; ++allowed) {
        Picture target(7, 5);
        Resampler resampler;
        heap.refuseAfter(allowed);
        const bool ok = shrink(resampler, source, target);
        heap.refuseAfter(-1);
        EXPECT_EQ(heap.liveBlocks(), before);
        if (ok) {
            EXPECT_EQ(target.bytes, reference::resample(source, 7, 5).bytes);
            EXPECT_GE(allowed, 4);  // two passes need their tables
        }
    }
    Picture target(7, 5);
    Resampler resampler;
    ASSERT_TRUE(shrink(resampler, source, target));
    EXPECT_EQ(heap.liveBlocks(), before);
}

}  // namespace
