// PNG speed: the whole decode and encode of a photograph (the file named by
// MORAVEL_BENCH_PNG, else a synthetic photo-like picture), and the hot row
// kernels alone: filter reconstruction and the writer's filter choice.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "codecs/png/filter_chooser.h"
#include "codecs/png/png_filters.h"
#include "codecs/png/png_reader.h"
#include "codecs/png/png_writer.h"

namespace {

std::filesystem::path benchFolder() {
    static const std::filesystem::path folder = [] {
        auto p = std::filesystem::temp_directory_path() / "moravel_png_bench";
        std::filesystem::create_directories(p);
        return p;
    }();
    return folder;
}

// The picture every whole-file benchmark uses, decoded once.
struct BenchPicture {
    ImageRecord record{};
    std::u16string sourcePath;
    bool ok = false;

    BenchPicture() {
        PngReader reader;
        if (const char* env = std::getenv("MORAVEL_BENCH_PNG")) {
            sourcePath = std::filesystem::path(env).u16string();
            ok = reader.read(sourcePath.c_str(), &record) != nullptr;
            return;
        }
        // Synthetic: smooth gradients with fine noise, 2048 x 1536, 24 bits.
        const int32_t width = 2048, height = 1536;
        std::vector<uint8_t> pixels(static_cast<size_t>(rowStride(width, 24)) * height + 4);
        std::mt19937 rng(1);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                uint8_t* p = &pixels[static_cast<size_t>(y) * rowStride(width, 24) + 3 * x];
                p[0] = static_cast<uint8_t>(x / 9 + (rng() & 7));
                p[1] = static_cast<uint8_t>(y / 7 + (rng() & 3));
                p[2] = static_cast<uint8_t>((x + y) / 13 + (rng() & 15));
            }
        PictureToWrite picture;
        picture.width = width;
        picture.height = height;
        picture.pixels = pixels.data();
        sourcePath = (benchFolder() / "synthetic.png").u16string();
        PngWriter writer;
        ok = writer.write(sourcePath.c_str(), picture) &&
             reader.read(sourcePath.c_str(), &record) != nullptr;
    }
    ~BenchPicture() { releasePixelBuffer(record.pixels); }

    PictureToWrite view() const {
        PictureToWrite p;
        p.width = record.header.biWidth;
        p.height = record.header.biHeight;
        p.currentBitCount = record.header.biBitCount;
        p.loadedBitCount = record.header.biBitCount;
        p.palette = record.palette;
        p.pixels = record.pixels;
        return p;
    }
};

BenchPicture& picture() {
    static BenchPicture p;
    return p;
}

void BM_PngDecode(benchmark::State& state) {
    BenchPicture& source = picture();
    if (!source.ok) return state.SkipWithError("no picture");
    PngReader reader;
    for (auto _ : state) {
        ImageRecord record{};
        if (!reader.read(source.sourcePath.c_str(), &record))
            return state.SkipWithError("read failed");
        releasePixelBuffer(record.pixels);
    }
    const double pixels = double(source.record.header.biWidth) * source.record.header.biHeight;
    state.counters["Mpixel/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PngDecode)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_PngEncode(benchmark::State& state) {
    BenchPicture& source = picture();
    if (!source.ok) return state.SkipWithError("no picture");
    const std::u16string out = (benchFolder() / "encoded.png").u16string();
    PngWriter writer;
    for (auto _ : state)
        if (!writer.write(out.c_str(), source.view())) return state.SkipWithError("write failed");
    state.counters["bytes"] = double(std::filesystem::file_size(std::filesystem::path(out)));
    const double pixels = double(source.record.header.biWidth) * source.record.header.biHeight;
    state.counters["Mpixel/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PngEncode)->Unit(benchmark::kMillisecond)->Iterations(2);

// One row of 6000 RGB pixels with photo-like variation, and the row above.
struct Rows {
    std::vector<uint8_t> current, above;
    explicit Rows(size_t length) : current(length), above(length) {
        std::mt19937 rng(3);
        for (size_t i = 0; i < length; ++i) {
            above[i] = static_cast<uint8_t>(i / 5 + (rng() & 15));
            current[i] = static_cast<uint8_t>(i / 5 + (rng() & 15));
        }
    }
};

void BM_Reconstruct(benchmark::State& state) {
    const int filter = static_cast<int>(state.range(0));
    const int bpp = static_cast<int>(state.range(1));
    Rows rows(18000);
    png::Reconstructor reconstruct = png::reconstructorFor(filter, bpp, false);
    for (auto _ : state) {
        reconstruct(rows.current.data(), rows.above.data(), rows.current.size());
        benchmark::DoNotOptimize(rows.current.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(rows.current.size()));
}
BENCHMARK(BM_Reconstruct)->ArgsProduct({{1, 2, 3, 4}, {3, 4}});

void BM_FilterChooser(benchmark::State& state) {
    const size_t length = 18001;
    Rows rows(length);
    std::vector<uint8_t> sub(length), up(length), average(length), paeth(length);
    for (auto _ : state) {
        png::FilterRows f{rows.current.data(), rows.above.data(), sub.data(),
                          up.data(),           average.data(),    paeth.data()};
        benchmark::DoNotOptimize(png::chooseFilter(f, length, 3));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(length));
}
BENCHMARK(BM_FilterChooser);

}  // namespace
