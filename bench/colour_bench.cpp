// Turning a 12-megapixel photograph (4000 x 3000, 24-bit) to sRGB through
// its embedded profile, profile opening and transform included, as the
// program does once per picture: Display P3 and Adobe RGB (converted), an
// sRGB profile described apart from the library's (probed, then left
// alone), and a grey profile on an 8-bit picture (its palette only). The
// profiles are the test fixtures in tests/data/colour. Compare with the
// whole conversion of the same photo (moravel, timed as a process) to get the
// share a profile adds.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "core/image_record.h"
#include "imaging/colour_profile.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

std::vector<uint8_t> profile(const char* name) {
    std::ifstream in(std::string(MORAVEL_COLOUR_DATA) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Photo {
    ImageRecord record{};
    explicit Photo(int bitCount) {
        resetRecord(record);
        setRecordGeometry(record, kWidth, kHeight, bitCount);
        record.pixels = allocatePixelBuffer(kWidth, kHeight, bitCount);
        std::mt19937 random(1);
        const size_t bytes = size_t{rowStride(kWidth, bitCount)} * kHeight;
        for (size_t i = 0; i < bytes; ++i)
            record.pixels[i] = static_cast<uint8_t>((i / 3 % kWidth) / 16 + random() % 32);
    }
    ~Photo() { releasePixelBuffer(record.pixels); }
};

void convert(benchmark::State& state, const char* name, int bitCount) {
    const std::vector<uint8_t> icc = profile(name);
    if (icc.empty()) {
        state.SkipWithError("profile missing");
        return;
    }
    Photo photo(bitCount);
    for (auto _ : state) {
        const imaging::ProfileOutcome outcome =
            imaging::convertPictureToSrgb(icc.data(), icc.size(), photo.record);
        benchmark::DoNotOptimize(outcome);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

void BM_DisplayP3(benchmark::State& state) {
    convert(state, "display-p3.icc", 24);
}
void BM_AdobeRgb(benchmark::State& state) {
    convert(state, "adobe-rgb.icc", 24);
}
void BM_SrgbProfile(benchmark::State& state) {
    convert(state, "srgb-own.icc", 24);
}
void BM_GreyPalette(benchmark::State& state) {
    convert(state, "grey-gamma18.icc", 8);
}

BENCHMARK(BM_DisplayP3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdobeRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SrgbProfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GreyPalette)->Unit(benchmark::kMillisecond);

}  // namespace
