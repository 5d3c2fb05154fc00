// TIFF reading speed on large uncompressed pictures: the whole read (map,
// gather strips, unpack into the bottom-up buffer) and the row unpackers alone.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "codecs/tiff/tiff_reader.h"
#include "codecs/tiff/tiff_unpack.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v) {
    b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
}
void put32(Bytes& b, uint32_t v) {
    b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}

// A little-endian uncompressed TIFF with a photo-like pattern. Strips of
// `rowsPerStrip` rows; `shuffled` stores them in reverse order in the file
// so that the reader has to copy them together.
Bytes makeTiff(uint32_t width, uint32_t height, uint32_t bits, uint32_t samples,
               uint32_t photometric, uint32_t rowsPerStrip, bool shuffled) {
    const uint64_t rowBytes = tiffSourceRowBytes(width, bits, samples);
    Bytes pixels(rowBytes * height);
    uint32_t state = 12345;
    for (uint32_t y = 0; y < height; ++y)
        for (uint64_t i = 0; i < rowBytes; ++i) {
            state = state * 1103515245u + 12345u;
            pixels[y * rowBytes + i] = uint8_t((i * 3 + y) / 7 + (state >> 28));
        }
    Bytes file;
    file.reserve(pixels.size() + 4096);
    file.push_back('I');
    file.push_back('I');
    put16(file, 42);
    put32(file, 0);
    std::vector<uint32_t> offsets, counts;
    for (uint32_t y = 0; y < height; y += rowsPerStrip) {
        uint32_t rows = std::min(rowsPerStrip, height - y);
        offsets.push_back(uint32_t(y * rowBytes));
        counts.push_back(uint32_t(rows * rowBytes));
    }
    std::vector<size_t> order(offsets.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = shuffled ? order.size() - 1 - i : i;
    for (size_t i : order) {
        uint32_t at = uint32_t(file.size());
        file.insert(file.end(), pixels.begin() + offsets[i],
                    pixels.begin() + offsets[i] + counts[i]);
        offsets[i] = at;
    }
    auto array = [&](const std::vector<uint32_t>& values) {
        uint32_t at = uint32_t(file.size());
        for (uint32_t v : values) put32(file, v);
        return at;
    };
    uint32_t offsetsAt = array(offsets), countsAt = array(counts);
    uint32_t bitsAt = uint32_t(file.size());
    for (int i = 0; i < 3; ++i) put16(file, bits);
    std::map<uint16_t, std::pair<uint16_t, uint32_t>> entries = {
        {256, {4, width}},
        {257, {4, height}},
        {259, {3, 1}},
        {262, {3, photometric}},
        {277, {3, samples}},
        {278, {4, rowsPerStrip}},
        {273, {4, offsets.size() == 1 ? offsets[0] : offsetsAt}},
        {279, {4, counts.size() == 1 ? counts[0] : countsAt}},
        {258, {3, samples == 3 ? bitsAt : bits}}};
    uint32_t directory = uint32_t(file.size());
    put16(file, uint32_t(entries.size()));
    for (auto& [tag, e] : entries) {
        uint32_t count = tag == 273 || tag == 279 ? uint32_t(offsets.size())
                         : tag == 258             ? samples
                                                  : 1;
        put16(file, tag);
        put16(file, e.first);
        put32(file, count);
        if (e.first == 3 && count == 1) {
            put16(file, e.second);
            put16(file, 0);
        } else {
            put32(file, e.second);
        }
    }
    put32(file, 0);
    file[4] = uint8_t(directory);
    file[5] = uint8_t(directory >> 8);
    file[6] = uint8_t(directory >> 16);
    file[7] = uint8_t(directory >> 24);
    return file;
}

// Test pictures written once per process to the temporary folder.
class BenchFile {
  public:
    BenchFile(const std::string& name, const Bytes& contents)
        : path_(std::filesystem::temp_directory_path() / ("moravel_tiff_bench_" + name + ".tif")) {
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(contents.data()),
                   std::streamsize(contents.size()));
        size_ = contents.size();
    }
    ~BenchFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    std::u16string path() const { return path_.u16string(); }
    size_t size() const { return size_; }

  private:
    std::filesystem::path path_;
    size_t size_;
};

void readFile(benchmark::State& state, const BenchFile& file) {
    TiffReader reader;
    ImageRecord record{};
    for (auto _ : state) {
        if (!reader.read(file.path().c_str(), &record)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(record.pixels);
        releasePixelBuffer(record.pixels);
        record.pixels = nullptr;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

// 12 megapixels, 8 bits per sample, one strip (rows read in place).
void BM_ReadRgb8_4000x3000(benchmark::State& state) {
    static BenchFile file("rgb8", makeTiff(4000, 3000, 8, 3, 2, 3000, false));
    readFile(state, file);
}
// The same in 8-row strips stored in reverse order (strips copied together).
void BM_ReadRgb8_4000x3000_ShuffledStrips(benchmark::State& state) {
    static BenchFile file("rgb8s", makeTiff(4000, 3000, 8, 3, 2, 8, true));
    readFile(state, file);
}
void BM_ReadRgb16_4000x3000(benchmark::State& state) {
    static BenchFile file("rgb16", makeTiff(4000, 3000, 16, 3, 2, 64, false));
    readFile(state, file);
}
void BM_ReadBilevel_8000x6000(benchmark::State& state) {
    static BenchFile file("bilevel", makeTiff(8000, 6000, 1, 1, 0, 6000, false));
    readFile(state, file);
}
void BM_ReadGray4_8000x6000(benchmark::State& state) {
    static BenchFile file("gray4", makeTiff(8000, 6000, 4, 1, 1, 6000, false));
    readFile(state, file);
}

// Row unpackers alone on one 4000-pixel row.
template <TiffRowUnpacker Unpack, int SourceBitsPerPixel, int OutputBytes>
void BM_UnpackRow(benchmark::State& state) {
    const uint32_t width = 4000;
    Bytes src(tiffSourceRowBytes(width, SourceBitsPerPixel, 1), 0x5A);
    Bytes dst(width * OutputBytes + 4);
    for (auto _ : state) {
        Unpack(src.data(), dst.data(), width);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * width);
}

}  // namespace

BENCHMARK(BM_ReadRgb8_4000x3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRgb8_4000x3000_ShuffledStrips)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRgb16_4000x3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBilevel_8000x6000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGray4_8000x6000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnpackRow<unpackTiffRow1, 1, 1>)->Name("BM_UnpackRow1");
BENCHMARK(BM_UnpackRow<unpackTiffRow4, 4, 1>)->Name("BM_UnpackRow4");
BENCHMARK(BM_UnpackRow<unpackTiffRowRgb8, 24, 3>)->Name("BM_UnpackRowRgb8");
BENCHMARK(BM_UnpackRow<unpackTiffRowRgb16LE, 48, 3>)->Name("BM_UnpackRowRgb16");
