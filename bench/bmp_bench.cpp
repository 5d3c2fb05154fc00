// BMP row unpacking and whole reads of 12-megapixel files.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "codecs/bmp/bmp_reader.h"
#include "codecs/bmp/bmp_rows.h"

namespace {

constexpr uint32_t kWidth = 4000, kHeight = 3000;

std::vector<uint8_t> randomBytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    std::mt19937 random(1);
    for (auto& b : bytes) b = uint8_t(random());
    return bytes;
}

uint64_t sourceStride(uint32_t bits) {
    return (uint64_t{kWidth} * bits + 31) / 32 * 4;
}

void BM_UnpackRows(benchmark::State& state) {
    const uint32_t bits = uint32_t(state.range(0));
    const uint64_t stride = sourceStride(bits);
    std::vector<uint8_t> source = randomBytes(stride * kHeight);
    std::vector<uint8_t> out(size_t(kWidth) * (bits <= 8 ? 1 : 3) + 4);
    bmp::BitFields fields;
    if (bits == 16) fields.setMasks(0xF800, 0x07E0, 0x001F);
    if (bits == 32) fields.setMasks(0x00FF0000, 0x0000FF00, 0x000000FF);
    for (auto _ : state) {
        for (uint32_t y = 0; y < kHeight; ++y) {
            const uint8_t* row = source.data() + y * stride;
            switch (bits) {
                case 1:
                    bmp::unpack1BitRow(row, stride, kWidth, out.data());
                    break;
                case 4:
                    bmp::unpack4BitRow(row, stride, kWidth, out.data());
                    break;
                case 16:
                    fields.unpack16BitRow(row, stride, kWidth, out.data());
                    break;
                default:
                    fields.unpack32BitRow(row, stride, kWidth, out.data());
                    break;
            }
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_UnpackRows)->Arg(1)->Arg(4)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond);

// A whole read, mapping included, of a 4000 x 3000 file at the given depth.
void BM_ReadFile(benchmark::State& state) {
    const uint16_t bits = uint16_t(state.range(0));
    const uint32_t table = bits <= 8 ? 4u << bits : 0;
    const uint64_t imageSize = sourceStride(bits) * kHeight;
    std::vector<uint8_t> file(54, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, uint32_t(54 + table + imageSize));
    put32(10, 54 + table);
    put32(14, 40);
    put32(18, kWidth);
    put32(22, kHeight);
    file[26] = 1;
    file[28] = uint8_t(bits);
    std::vector<uint8_t> body = randomBytes(table + imageSize);
    file.insert(file.end(), body.begin(), body.end());
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("moravel_bmp_bench_" + std::to_string(bits) + ".bmp");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    const std::u16string u16 = path.u16string();

    BmpReader reader;
    ImageRecord record{};
    for (auto _ : state) {
        if (!reader.read(u16.c_str(), &record)) state.SkipWithError("read failed");
        releasePixelBuffer(record.pixels);
        record.pixels = nullptr;
    }
    std::filesystem::remove(path);
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_ReadFile)
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->Arg(16)
    ->Arg(24)
    ->Arg(32)
    ->Unit(benchmark::kMillisecond);

}  // namespace
