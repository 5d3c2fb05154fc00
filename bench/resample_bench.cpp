// Shrinking a 12-megapixel photo (4000 x 3000) to a longer side of 1600 and
// sharpening the result: the resampler alone, the sharpening alone, and both
// as the resize step runs them (buffers allocated per picture).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "core/image_record.h"
#include "imaging/resampler.h"
#include "imaging/sharpen.h"

namespace {

constexpr int32_t kPhotoWidth = 4000, kPhotoHeight = 3000;
constexpr int32_t kTargetWidth = 1600, kTargetHeight = 1200;

// A photo-like picture: smooth gradients with noise and a few hard edges.
uint8_t* makePhoto(int32_t width, int32_t height) {
    uint8_t* pixels = allocatePixelBuffer(width, height, 24);
    const size_t stride = rowStride(width, 24);
    std::mt19937 rng(1);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = pixels + y * stride;
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t noise = rng();
            const bool edge = ((x / 97) + (y / 61)) % 5 == 0;
            row[3 * x] = static_cast<uint8_t>((x * 255 / width + (noise & 15)) ^ (edge ? 0x80 : 0));
            row[3 * x + 1] = static_cast<uint8_t>(y * 255 / height + ((noise >> 8) & 15));
            row[3 * x + 2] =
                static_cast<uint8_t>((x + y) * 127 / (width + height) + ((noise >> 16) & 31));
        }
    }
    return pixels;
}

bool shrinkPhoto(Resampler& resampler, const uint8_t* photo, uint8_t* target) {
    resampler.sourceWidth = kPhotoWidth;
    resampler.sourceHeight = kPhotoHeight;
    resampler.sourcePixels = photo;
    resampler.destinationPixels = target;
    return resampler.resample(kTargetWidth, kTargetHeight);
}

bool sharpenPicture(SharpenEngine& sharpener, const uint8_t* source, uint8_t* target) {
    sharpener.setPicture(kTargetWidth, kTargetHeight,
                         static_cast<int32_t>(rowStride(kTargetWidth, 24)), source, target);
    const bool ok = sharpener.computeDifference() && sharpener.sharpen(3, 20);
    sharpener.releaseDifference();
    return ok;
}

void BM_Resample12MpTo1600(benchmark::State& state) {
    uint8_t* photo = makePhoto(kPhotoWidth, kPhotoHeight);
    uint8_t* target = allocatePixelBuffer(kTargetWidth, kTargetHeight, 24);
    Resampler resampler;
    for (auto _ : state) {
        if (!shrinkPhoto(resampler, photo, target)) state.SkipWithError("resample failed");
        benchmark::DoNotOptimize(target[0]);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kPhotoWidth} * kPhotoHeight);
    releasePixelBuffer(target);
    releasePixelBuffer(photo);
}
BENCHMARK(BM_Resample12MpTo1600)->Unit(benchmark::kMillisecond);

void BM_Sharpen1600x1200(benchmark::State& state) {
    uint8_t* photo = makePhoto(kPhotoWidth, kPhotoHeight);
    uint8_t* shrunk = allocatePixelBuffer(kTargetWidth, kTargetHeight, 24);
    uint8_t* sharpened = allocatePixelBuffer(kTargetWidth, kTargetHeight, 24);
    Resampler resampler;
    SharpenEngine sharpener;
    shrinkPhoto(resampler, photo, shrunk);
    for (auto _ : state) {
        if (!sharpenPicture(sharpener, shrunk, sharpened)) state.SkipWithError("sharpen failed");
        benchmark::DoNotOptimize(sharpened[0]);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kTargetWidth} * kTargetHeight);
    releasePixelBuffer(sharpened);
    releasePixelBuffer(shrunk);
    releasePixelBuffer(photo);
}
BENCHMARK(BM_Sharpen1600x1200)->Unit(benchmark::kMillisecond);

void BM_ResampleAndSharpen12MpTo1600(benchmark::State& state) {
    uint8_t* photo = makePhoto(kPhotoWidth, kPhotoHeight);
    Resampler resampler;
    SharpenEngine sharpener;
    for (auto _ : state) {
        uint8_t* shrunk = allocatePixelBuffer(kTargetWidth, kTargetHeight, 24);
        uint8_t* sharpened = allocatePixelBuffer(kTargetWidth, kTargetHeight, 24);
        if (!shrinkPhoto(resampler, photo, shrunk) || !sharpenPicture(sharpener, shrunk, sharpened))
            state.SkipWithError("resize failed");
        benchmark::DoNotOptimize(sharpened[0]);
        releasePixelBuffer(shrunk);
        releasePixelBuffer(sharpened);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kPhotoWidth} * kPhotoHeight);
    releasePixelBuffer(photo);
}
BENCHMARK(BM_ResampleAndSharpen12MpTo1600)->Unit(benchmark::kMillisecond);

// The two passes on their own: only the height, only the width.
void BM_ResampleOneSide(benchmark::State& state) {
    const bool heightOnly = state.range(0) == 0;
    uint8_t* photo = makePhoto(kPhotoWidth, kPhotoHeight);
    const int32_t w = heightOnly ? kPhotoWidth : kTargetWidth;
    const int32_t h = heightOnly ? kTargetHeight : kPhotoHeight;
    uint8_t* target = allocatePixelBuffer(w, h, 24);
    Resampler resampler;
    for (auto _ : state) {
        resampler.sourceWidth = kPhotoWidth;
        resampler.sourceHeight = kPhotoHeight;
        resampler.sourcePixels = photo;
        resampler.destinationPixels = target;
        if (!resampler.resample(w, h)) state.SkipWithError("resample failed");
        benchmark::DoNotOptimize(target[0]);
    }
    state.SetLabel(heightOnly ? "height 3000 -> 1200" : "width 4000 -> 1600");
    releasePixelBuffer(target);
    releasePixelBuffer(photo);
}
BENCHMARK(BM_ResampleOneSide)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
