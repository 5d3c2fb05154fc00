#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "core/image_record.h"
#include "core/settings.h"
#include "driver/resize_step.h"
#include "imaging/resampler.h"
#include "imaging/sharpen.h"
#include "platform/platform.h"
#include "tests/imaging/resample_reference.h"

namespace {

using reference::Picture;

// A working picture as a reader leaves it, owning a page-allocated buffer.
struct LoadedPicture {
    WorkingPicture picture{};

    LoadedPicture(const Picture& source) {
        resetRecord(picture.record);
        picture.record.pixels = allocatePixelBuffer(source.width, source.height, 24);
        std::memcpy(picture.record.pixels, source.bytes.data(), source.stride() * source.height);
        setRecordGeometry(picture.record, source.width, source.height, 24);
        picture.width = source.width;
        picture.height = source.height;
        picture.currentBitCount = 24;
        picture.loadedBitCount = 24;
    }
    LoadedPicture(int32_t width, int32_t height, const std::vector<uint8_t>& indices,
                  const RgbQuad* palette) {
        resetRecord(picture.record);
        picture.record.pixels = allocatePixelBuffer(width, height, 8);
        const size_t stride = rowStride(width, 8);
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(picture.record.pixels + y * stride, &indices[y * width], width);
        std::memcpy(picture.record.palette, palette, sizeof picture.record.palette);
        setRecordGeometry(picture.record, width, height, 8);
        picture.width = width;
        picture.height = height;
        picture.currentBitCount = 8;
        picture.loadedBitCount = 8;
    }
    ~LoadedPicture() { releasePixelBuffer(picture.record.pixels); }

    // The 24-bit pixels with their padding, as a reference picture.
    Picture pixels() const {
        Picture p(picture.width, picture.height);
        const size_t bytes =
            size_t{rowStride(picture.width, 24)} * static_cast<uint32_t>(picture.height);
        std::memcpy(p.bytes.data(), picture.record.pixels, bytes);
        return p;
    }
    void expectGeometry(int32_t width, int32_t height, uint32_t bits) const {
        EXPECT_EQ(picture.width, width);
        EXPECT_EQ(picture.height, height);
        EXPECT_EQ(picture.currentBitCount, bits);
        EXPECT_EQ(picture.record.header.biWidth, width);
        EXPECT_EQ(picture.record.header.biHeight, height);
        EXPECT_EQ(picture.record.header.biBitCount, bits);
    }
};

struct Engines {
    Resampler resampler;
    SharpenEngine sharpener;
    bool resize(LoadedPicture& p, int32_t mode, int32_t target) {
        return resizeWorkingPicture(p.picture, mode, target, resampler, sharpener);
    }
};

TEST(ResizeTargetSize, FitsTheChosenSide) {
    ResizeTarget t = resizeTargetSize(kResizeByWidth, 100, 1000, 3);
    EXPECT_TRUE(t.shrinks);
    EXPECT_EQ(t.width, 100);
    EXPECT_EQ(t.height, 1);  // 0.3 + 0.5 truncates to 0, raised to 1

    t = resizeTargetSize(kResizeByHeight, 300, 4000, 3000);
    EXPECT_TRUE(t.shrinks);
    EXPECT_EQ(t.width, 400);
    EXPECT_EQ(t.height, 300);

    t = resizeTargetSize(kResizeByLongerSide, 1600, 4000, 3000);  // landscape: the width
    EXPECT_EQ(t.width, 1600);
    EXPECT_EQ(t.height, 1200);
    t = resizeTargetSize(kResizeByLongerSide, 1600, 3000, 4000);  // portrait: the height
    EXPECT_EQ(t.width, 1200);
    EXPECT_EQ(t.height, 1600);
    t = resizeTargetSize(kResizeByLongerSide, 7, 10, 10);  // square: the height
    EXPECT_TRUE(t.shrinks);
    EXPECT_EQ(t.width, 7);
    EXPECT_EQ(t.height, 7);
    t = resizeTargetSize(kResizeByLongerSide, 10, 10, 20);  // square by the height only
    EXPECT_EQ(t.width, 5);
    EXPECT_EQ(t.height, 10);
    // Any other mode fits the height.
    t = resizeTargetSize(9, 50, 400, 100);
    EXPECT_EQ(t.width, 200);
    EXPECT_EQ(t.height, 50);
}

TEST(ResizeTargetSize, RoundsHalfUpAndNeverEnlarges) {
    ResizeTarget t = resizeTargetSize(kResizeByWidth, 2, 4, 3);  // 1.5 -> 2
    EXPECT_EQ(t.height, 2);
    t = resizeTargetSize(kResizeByWidth, 3, 7, 5);  // 2.14 -> 2
    EXPECT_EQ(t.height, 2);
    t = resizeTargetSize(kResizeByWidth, 3, 7, 6);  // 2.57 -> 3
    EXPECT_EQ(t.height, 3);

    for (int32_t target : {100, 101, 5000}) {
        t = resizeTargetSize(kResizeByWidth, target, 100, 3000);
        EXPECT_FALSE(t.shrinks);
        EXPECT_EQ(t.width, 100);
        EXPECT_EQ(t.height, 3000);
    }
    EXPECT_FALSE(resizeTargetSize(kResizeByHeight, 3000, 100, 3000).shrinks);
    EXPECT_FALSE(resizeTargetSize(kResizeByLongerSide, 3000, 100, 3000).shrinks);
}

TEST(ResizeTargetSize, TargetZeroGivesAFittedSideOfZero) {
    ResizeTarget t = resizeTargetSize(kResizeByWidth, 0, 640, 480);
    EXPECT_TRUE(t.shrinks);
    EXPECT_EQ(t.width, 0);
    EXPECT_EQ(t.height, 1);
    t = resizeTargetSize(kResizeByHeight, -5, 640, 480);
    EXPECT_EQ(t.height, -5);
    EXPECT_EQ(t.width, 1);
}

TEST(ResizeTargetSize, LargeSidesDoNotWrap) {
    // 50000 * 59999 does not fit in 32 bits.
    const ResizeTarget t = resizeTargetSize(kResizeByWidth, 59999, 60000, 50000);
    EXPECT_EQ(t.width, 59999);
    EXPECT_EQ(t.height, 49999);
}

TEST(ResizeStep, LongThinPictureBecomesOneRowUnsharpened) {
    std::mt19937 rng(1);
    const Picture source = reference::randomPicture(1000, 3, rng);
    LoadedPicture p(source);
    Engines engines;
    ASSERT_TRUE(engines.resize(p, kResizeByWidth, 100));
    p.expectGeometry(100, 1, 24);
    EXPECT_EQ(p.pixels().bytes, reference::resample(source, 100, 1).bytes);
}

TEST(ResizeStep, PictureThatFitsIsUntouched) {
    std::mt19937 rng(2);
    const Picture source = reference::randomPicture(64, 48, rng);
    LoadedPicture p(source);
    const uint8_t* before = p.picture.record.pixels;
    Engines engines;
    ASSERT_TRUE(engines.resize(p, kResizeByWidth, 64));
    EXPECT_EQ(p.picture.record.pixels, before);
    p.expectGeometry(64, 48, 24);
    EXPECT_EQ(p.pixels().bytes, source.bytes);
    ASSERT_TRUE(engines.resize(p, kResizeByLongerSide, 1000));
    EXPECT_EQ(p.picture.record.pixels, before);
}

TEST(ResizeStep, TargetZeroFailsAndLeavesAValidPicture) {
    std::mt19937 rng(3);
    const Picture source = reference::randomPicture(20, 10, rng);
    LoadedPicture p(source);
    Engines engines;
    EXPECT_FALSE(engines.resize(p, kResizeByWidth, 0));
    EXPECT_FALSE(engines.resize(p, kResizeByLongerSide, -3));
    ASSERT_NE(p.picture.record.pixels, nullptr);
    p.expectGeometry(20, 10, 24);
    EXPECT_EQ(p.pixels().bytes, source.bytes);
}

TEST(ResizeStep, ShrinkIsFollowedBySharpening) {
    std::mt19937 rng(4);
    const Picture source = reference::randomPicture(40, 40, rng, true);
    LoadedPicture p(source);
    Engines engines;
    // Square by the longer side: the height is fitted.
    ASSERT_TRUE(engines.resize(p, kResizeByLongerSide, 13));
    p.expectGeometry(13, 13, 24);
    const Picture shrunk = reference::resample(source, 13, 13);
    const Picture expected = reference::sharpen(shrunk, 3, 20);
    ASSERT_NE(expected.bytes, shrunk.bytes);  // the sharpening shows
    EXPECT_EQ(p.pixels().pixelBytes(), expected.pixelBytes());
}

TEST(ResizeStep, SidesBelowFiveAreNotSharpened) {
    std::mt19937 rng(5);
    const Picture source = reference::randomPicture(20, 500, rng);
    for (auto [mode, target, w, h] : {std::tuple{kResizeByHeight, 100, 4, 100},
                                      {kResizeByWidth, 5, 5, 125},
                                      {kResizeByWidth, 4, 4, 100}}) {
        LoadedPicture p(source);
        Engines engines;
        ASSERT_TRUE(engines.resize(p, mode, target));
        p.expectGeometry(w, h, 24);
        const Picture shrunk = reference::resample(source, w, h);
        const bool sharpened = w >= 5 && h >= 5;
        EXPECT_EQ(p.pixels().pixelBytes(),
                  (sharpened ? reference::sharpen(shrunk, 3, 20) : shrunk).pixelBytes())
            << w << "x" << h;
    }
    // Five by five is the smallest picture that is sharpened.
    const Picture square = reference::randomPicture(25, 25, rng, true);
    LoadedPicture small(square);
    Engines smallEngines;
    ASSERT_TRUE(smallEngines.resize(small, kResizeByLongerSide, 5));
    small.expectGeometry(5, 5, 24);
    const Picture shrunk = reference::resample(square, 5, 5);
    ASSERT_NE(reference::sharpen(shrunk, 3, 20).bytes, shrunk.bytes);
    EXPECT_EQ(small.pixels().bytes, reference::sharpen(shrunk, 3, 20).bytes);

    const Picture wide = reference::randomPicture(500, 20, rng);
    LoadedPicture p(wide);
    Engines engines;
    ASSERT_TRUE(engines.resize(p, kResizeByWidth, 100));
    p.expectGeometry(100, 4, 24);
    EXPECT_EQ(p.pixels().bytes, reference::resample(wide, 100, 4).bytes);
}

TEST(ResizeStep, EightBitPicturesAreWidenedThroughThePalette) {
    std::mt19937 rng(6);
    RgbQuad palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                      static_cast<uint8_t>(rng()), 0};
    const int32_t w = 23, h = 17;
    std::vector<uint8_t> indices(w * h);
    for (uint8_t& i : indices) i = static_cast<uint8_t>(rng() % 7);  // a few colours
    Picture widened(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const RgbQuad& c = palette[indices[y * w + x]];
            widened.at(x, y)[0] = c.blue;
            widened.at(x, y)[1] = c.green;
            widened.at(x, y)[2] = c.red;
        }

    LoadedPicture p(w, h, indices, palette);
    Engines engines;
    ASSERT_TRUE(engines.resize(p, kResizeByWidth, 10));
    p.expectGeometry(10, 7, 24);
    EXPECT_EQ(p.picture.loadedBitCount, 8);
    EXPECT_EQ(0, std::memcmp(p.picture.record.palette, palette, sizeof palette));
    const Picture expected = reference::sharpen(reference::resample(widened, 10, 7), 3, 20);
    EXPECT_EQ(p.pixels().pixelBytes(), expected.pixelBytes());

    // An 8-bit picture that already fits stays 8-bit.
    LoadedPicture small(w, h, indices, palette);
    ASSERT_TRUE(engines.resize(small, kResizeByWidth, 23));
    small.expectGeometry(23, 17, 8);
}

TEST(ResizeStep, MissingSharpeningTablesFailTheResizeCleanly) {
    std::mt19937 rng(7);
    const Picture source = reference::randomPicture(30, 30, rng);
    platform::PrivateHeap& heap = platform::privateHeap();
    heap.refuseAfter(0);
    Engines engines;  // its tables were refused
    heap.refuseAfter(-1);
    ASSERT_FALSE(engines.sharpener.ready());

    LoadedPicture p(source);
    const uint8_t* before = p.picture.record.pixels;
    EXPECT_FALSE(engines.resize(p, kResizeByWidth, 10));
    EXPECT_EQ(p.picture.record.pixels, before);
    p.expectGeometry(30, 30, 24);
    EXPECT_EQ(p.pixels().bytes, source.bytes);

    // A shrink that is not sharpened does not need the tables.
    ASSERT_TRUE(engines.resize(p, kResizeByWidth, 4));
    p.expectGeometry(4, 4, 24);
    EXPECT_EQ(p.pixels().bytes, reference::resample(source, 4, 4).bytes);
}

TEST(ResizeStep, RefusedWorkAreasFailCleanly) {
    std::mt19937 rng(8);
    const Picture source = reference::randomPicture(30, 20, rng);
    Engines engines;
    platform::PrivateHeap& heap = platform::privateHeap();
    const size_t before = heap.liveBlocks();
    LoadedPicture p(source);
    heap.refuseAfter(0);
    const bool ok = engines.resize(p, kResizeByWidth, 10);
    heap.refuseAfter(-1);
    EXPECT_FALSE(ok);
    EXPECT_EQ(heap.liveBlocks(), before);
    ASSERT_NE(p.picture.record.pixels, nullptr);
    p.expectGeometry(30, 20, 24);
}

TEST(ResizeStep, UnusablePicturesFail) {
    Engines engines;
    WorkingPicture empty{};
    EXPECT_FALSE(
        resizeWorkingPicture(empty, kResizeByWidth, 10, engines.resampler, engines.sharpener));
    std::mt19937 rng(9);
    LoadedPicture p(reference::randomPicture(30, 20, rng));
    p.picture.currentBitCount = 32;
    EXPECT_FALSE(engines.resize(p, kResizeByWidth, 10));
    p.picture.currentBitCount = 24;
    p.picture.height = 0;
    EXPECT_FALSE(engines.resize(p, kResizeByWidth, 10));
    p.picture.height = 20;
}

}  // namespace
