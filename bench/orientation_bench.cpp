// Turning a 12-megapixel picture upright: each Exif orientation on 24-bit
// and 8-bit pixels (compare with jpeg_bench's BM_Read of the same size),
// and the metadata scan of a photo-sized file.
#include <benchmark/benchmark.h>

#include <vector>

#include "codecs/metadata/source_metadata.h"
#include "imaging/orientation.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

void BM_Orient(benchmark::State& state) {
    const auto orientation = static_cast<uint8_t>(state.range(0));
    const int bitCount = static_cast<int>(state.range(1));
    uint8_t* pixels = allocatePixelBuffer(kWidth, kHeight, bitCount);
    const uint64_t bytes = uint64_t{rowStride(kWidth, bitCount)} * kHeight;
    for (uint64_t i = 0; i < bytes; ++i) pixels[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    for (auto _ : state) {
        uint8_t* turned = orientedPixels(pixels, kWidth, kHeight, bitCount, orientation);
        benchmark::DoNotOptimize(turned);
        releasePixelBuffer(turned);
    }
    releasePixelBuffer(pixels);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_Orient)->ArgsProduct({{2, 3, 4, 5, 6, 7, 8}, {24, 8}})->Unit(benchmark::kMillisecond);

// A 3 MB JPEG-like file: Exif and a profile up front, then entropy data the
// scan must not walk.
void BM_ScanJpeg(benchmark::State& state) {
    std::vector<uint8_t> file = {
        0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x24, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0,
        0,    1,    0,    0x12, 0x01, 3,    0,   1,   0,   0,   0, 6, 0,   0,   0,  0, 0, 0, 0};
    file.resize(file.size() + 2, 0);
    const uint8_t scan[] = {0xFF, 0xDA, 0x00, 0x02};
    file.insert(file.end(), scan, scan + 4);
    file.resize(3u << 20, 0x55);
    for (auto _ : state) {
        SourceMetadata found = scanSourceMetadata(file.data(), file.size());
        benchmark::DoNotOptimize(found.orientation);
    }
}
BENCHMARK(BM_ScanJpeg)->Unit(benchmark::kMicrosecond);

}  // namespace
