// JPEG reads (full size and with the size hint), writes, the size-limited
// write and the lossless re-write of a 12-megapixel photo-like picture, next
// to the library alone decoding the same file from memory (the floor).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "codecs/jpeg/jpeg_copy.h"
#include "codecs/jpeg/jpeg_library.h"
#include "codecs/jpeg/jpeg_reader.h"
#include "codecs/jpeg/jpeg_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 4000, kHeight = 3000;

// Smooth shapes plus sensor-like noise: compresses like a photo (~2-3 MB).
std::vector<uint8_t> photoPixels(int width, int height) {
    const uint32_t stride = rowStride(width, 24);
    std::vector<uint8_t> pixels(size_t(stride) * height + 4);
    std::mt19937 random(3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &pixels[size_t(y) * stride + x * 3];
            const double u = x / double(width), v = y / double(height);
            const int noise = int(random() % 9) - 4;
            p[0] = uint8_t(std::clamp(int(128 + 100 * std::sin(9 * u + 4 * v)) + noise, 0, 255));
            p[1] = uint8_t(std::clamp(int(128 + 90 * std::cos(7 * v - 3 * u * u)) + noise, 0, 255));
            p[2] = uint8_t(std::clamp(int(255 * u * v) + noise, 0, 255));
        }
    return pixels;
}

struct Fixture {
    fs::path folder;
    fs::path photo;
    std::vector<uint8_t> pixels;
    PictureToWrite picture;

    Fixture() {
        folder = fs::temp_directory_path() / ("moravel-jpeg-bench-" + std::to_string(std::rand()));
        fs::create_directories(folder);
        photo = folder / "photo.jpg";
        pixels = photoPixels(kWidth, kHeight);
        picture.width = kWidth;
        picture.height = kHeight;
        picture.pixels = pixels.data();
        picture.horizontalResolution = picture.verticalResolution = 2835;
        JpegWriter writer;
        writer.setQuality(90);
        if (!writer.write(photo.u16string().c_str(), picture)) std::abort();
    }
    ~Fixture() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

void BM_LibraryDecodeOnly(benchmark::State& state) {
    const fs::path& photo = fixture().photo;
    std::vector<uint8_t> file(fs::file_size(photo));
    std::FILE* in = std::fopen(photo.string().c_str(), "rb");
    if (!in || std::fread(file.data(), 1, file.size(), in) != file.size()) std::abort();
    std::fclose(in);
    std::vector<uint8_t> row(kWidth * 3);
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr error;
        cinfo.err = jpeg_std_error(&error);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        JSAMPROW rows[1] = {row.data()};
        while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, 1);
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(row.data());
    }
}
BENCHMARK(BM_LibraryDecodeOnly)->Unit(benchmark::kMillisecond);

// The library decoding straight into a fresh page buffer of the picture's
// size: the floor for a reader that must deliver the whole picture.
void BM_LibraryDecodeIntoPages(benchmark::State& state) {
    const fs::path& photo = fixture().photo;
    std::vector<uint8_t> file(fs::file_size(photo));
    std::FILE* in = std::fopen(photo.string().c_str(), "rb");
    if (!in || std::fread(file.data(), 1, file.size(), in) != file.size()) std::abort();
    std::fclose(in);
    const uint32_t stride = rowStride(kWidth, 24);
    for (auto _ : state) {
        uint8_t* pixels = allocatePixelBuffer(kWidth, kHeight, 24);
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr error;
        cinfo.err = jpeg_std_error(&error);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW rows[1] = {pixels + size_t(kHeight - 1 - cinfo.output_scanline) * stride};
            jpeg_read_scanlines(&cinfo, rows, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels);
        releasePixelBuffer(pixels);
    }
}
BENCHMARK(BM_LibraryDecodeIntoPages)->Unit(benchmark::kMillisecond);

void BM_Read(benchmark::State& state) {
    const std::u16string path = fixture().photo.u16string();
    JpegReader reader;
    const uint32_t target = uint32_t(state.range(0));
    reader.setSizeHint(target != 0, target, target);
    for (auto _ : state) {
        ImageRecord record{};
        if (!reader.read(path.c_str(), &record)) std::abort();
        releasePixelBuffer(record.pixels);
    }
}
// 0: full size; 500: longer side 500, decoded at 1/4.
BENCHMARK(BM_Read)->Arg(0)->Arg(1500)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_Write(benchmark::State& state) {
    Fixture& f = fixture();
    const std::u16string out = (f.folder / "out.jpg").u16string();
    JpegWriter writer;
    for (auto _ : state)
        if (!writer.write(out.c_str(), f.picture)) std::abort();
}
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond);

void BM_WriteLimited(benchmark::State& state) {
    Fixture& f = fixture();
    const std::u16string out = (f.folder / "limited.jpg").u16string();
    JpegWriter writer;
    for (auto _ : state) {
        writer.setQuality(75);
        if (!writer.writeLimited(out.c_str(), f.picture, uint32_t(state.range(0)))) std::abort();
    }
    state.counters["encodings"] = writer.encodingCount();
}
BENCHMARK(BM_WriteLimited)->Arg(1024)->Unit(benchmark::kMillisecond);

void BM_Copy(benchmark::State& state) {
    Fixture& f = fixture();
    const std::u16string in = f.photo.u16string();
    const std::u16string out = (f.folder / "copy.jpg").u16string();
    JpegCopy copy;
    for (auto _ : state)
        if (!copy.transcode(in.c_str(), out.c_str())) std::abort();
}
BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond);

}  // namespace
