// Narrowing a 12-megapixel photograph from 24 to 8 bits: the fast reducer
// against the plain reference. Set MORAVEL_BENCH_PHOTO to a binary PPM (P6)
// of a real photograph (e.g. made with PIL); without it a synthetic
// gradient-plus-noise picture of 4000 x 3000 stands in.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/color_reducer.h"
#include "tests/imaging/reducer_reference.h"

namespace {

struct Photo {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;  // bottom-up BGR rows padded to 4 bytes
};

size_t stride24(int width) {
    return (size_t(width) * 3 + 3) & ~size_t{3};
}

bool loadPpm(const char* path, Photo& photo) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    int maxValue = 0;
    bool ok = std::fscanf(file, "P6 %d %d %d", &photo.width, &photo.height, &maxValue) == 3 &&
              maxValue == 255 && photo.width > 0 && photo.height > 0 && std::fgetc(file) != EOF;
    if (ok) {
        std::vector<uint8_t> rgb(size_t(photo.width) * photo.height * 3);
        ok = std::fread(rgb.data(), 1, rgb.size(), file) == rgb.size();
        photo.pixels.assign(stride24(photo.width) * photo.height + 4, 0);
        for (int y = 0; ok && y < photo.height; ++y) {
            const uint8_t* in = &rgb[size_t(photo.height - 1 - y) * photo.width * 3];
            uint8_t* out = &photo.pixels[y * stride24(photo.width)];
            for (int x = 0; x < photo.width; ++x, in += 3, out += 3)
                out[0] = in[2], out[1] = in[1], out[2] = in[0];
        }
    }
    std::fclose(file);
    return ok;
}

Photo syntheticPhoto() {
    Photo photo;
    photo.width = 4000;
    photo.height = 3000;
    photo.pixels.assign(stride24(photo.width) * photo.height + 4, 0);
    std::mt19937 random(1);
    auto clamp = [](int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    for (int y = 0; y < photo.height; ++y) {
        uint8_t* out = &photo.pixels[y * stride24(photo.width)];
        for (int x = 0; x < photo.width; ++x, out += 3) {
            int noise = int(random() % 13) - 6;
            out[0] = clamp(30 + x / 20 + noise);
            out[1] = clamp(50 + y / 15 + (x * y) / 200000 + noise);
            out[2] = clamp(220 - x / 25 - y / 40 + noise);
        }
    }
    return photo;
}

const Photo& photo() {
    static const Photo loaded = [] {
        Photo p;
        const char* path = std::getenv("MORAVEL_BENCH_PHOTO");
        if (path && *path && loadPpm(path, p)) return p;
        if (path && *path) std::fprintf(stderr, "cannot read %s, using a synthetic photo\n", path);
        return syntheticPhoto();
    }();
    return loaded;
}

void BM_NarrowPhotoFast(benchmark::State& state) {
    const Photo& p = photo();
    ColorReducer reducer;
    std::vector<uint8_t> out;
    for (auto _ : state) {
        reducer.configure(p.width, p.height, 24, 8);
        out.resize(reducer.targetImageSize() + 4);
        RgbQuad palette[256] = {};
        if (!reducer.convertPacked(nullptr, p.pixels.data(), palette, out.data()))
            state.SkipWithError("narrowing failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["megapixels"] = double(p.width) * p.height / 1e6;
}
BENCHMARK(BM_NarrowPhotoFast)->Unit(benchmark::kMillisecond)->MinTime(3);

// Also reports whether the fast reducer gave the very same palette and indices.
void BM_NarrowPhotoReference(benchmark::State& state) {
    const Photo& p = photo();
    std::vector<uint8_t> out(size_t(p.width) * p.height + 4);
    RgbQuad palette[256] = {};
    for (auto _ : state) {
        if (!referenceNarrow(p.width, p.height, 24, nullptr, p.pixels.data(), palette, out.data()))
            state.SkipWithError("narrowing failed");
        benchmark::DoNotOptimize(out.data());
    }
    ColorReducer reducer;
    reducer.configure(p.width, p.height, 24, 8);
    std::vector<uint8_t> fast(size_t(p.width) * p.height + 4);
    RgbQuad fastPalette[256] = {};
    bool same = reducer.convertToIndices(nullptr, p.pixels.data(), fastPalette, fast.data()) &&
                std::memcmp(palette, fastPalette, sizeof palette) == 0 && fast == out;
    state.counters["identical"] = same ? 1 : 0;
}
BENCHMARK(BM_NarrowPhotoReference)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_WidenPhoto(benchmark::State& state) {
    const Photo& p = photo();
    std::vector<uint8_t> indices(((size_t(p.width) + 3) & ~size_t{3}) * p.height + 4);
    RgbQuad palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0};
    ColorReducer reducer;
    std::vector<uint8_t> out;
    for (auto _ : state) {
        reducer.configure(p.width, p.height, 8, 24);
        out.resize(reducer.targetImageSize() + 4);
        reducer.convertPacked(palette, indices.data(), nullptr, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_WidenPhoto)->Unit(benchmark::kMillisecond);

}  // namespace
