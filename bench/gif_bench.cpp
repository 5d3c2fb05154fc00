// GIF codec speed on a 2-megapixel picture with many colours: the LZW
// encoder and decoder on their own, and whole writes and reads of files.
// Compare with bench/gif_compare.py (PIL on the same picture).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "codecs/gif/gif_lzw_decoder.h"
#include "codecs/gif/gif_lzw_encoder.h"
#include "codecs/gif/gif_reader.h"
#include "codecs/gif/gif_writer.h"
#include "imaging/color_reducer.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Smooth gradients with a little noise, like a photo: far more than 256
// colours. gif_compare.py builds the same picture.
uint8_t noise(int x, int y) {
    return static_cast<uint8_t>(((uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u)) >> 7 & 31);
}

struct Picture {
    std::vector<uint8_t> pixels;  // 24-bit bottom-up rows
    Picture() : pixels(size_t(rowStride(kWidth, 24)) * kHeight + 4) {
        const uint32_t stride = rowStride(kWidth, 24);
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = pixels.data() + size_t(kHeight - 1 - y) * stride;
            for (int x = 0; x < kWidth; ++x) {
                row[3 * x + 2] = static_cast<uint8_t>(x * 200 / kWidth + noise(x, y));      // red
                row[3 * x + 1] = static_cast<uint8_t>(y * 200 / kHeight + noise(y, x));     // green
                row[3 * x + 0] = static_cast<uint8_t>((x + y) * 100 / (kWidth + kHeight) +  // blue
                                                      noise(x + 7, y + 3) * 3);
            }
        }
    }
    PictureToWrite view() const {
        PictureToWrite p;
        p.width = kWidth;
        p.height = kHeight;
        p.currentBitCount = 24;
        p.loadedBitCount = 24;
        p.pixels = pixels.data();
        return p;
    }
};

const Picture& picture() {
    static Picture p;
    return p;
}

// The picture's palette indices as the GIF writer encodes them.
const std::vector<uint8_t>& indices() {
    static std::vector<uint8_t> result = [] {
        ColorReducer reducer;
        reducer.configure(kWidth, kHeight, 24, 8);
        std::vector<uint8_t> out(reducer.targetImageSize() + 4);
        RgbQuad palette[256] = {};
        reducer.convertToIndices(nullptr, picture().pixels.data(), palette, out.data());
        out.resize(size_t(kWidth) * kHeight);
        return out;
    }();
    return result;
}

void BM_LzwEncode(benchmark::State& state) {
    const std::vector<uint8_t>& input = indices();
    auto tables = std::make_unique<gif::LzwEncoderTables>();
    std::vector<uint8_t> out(gif::lzwEncodedBound(input.size()));
    size_t encoded = 0;
    for (auto _ : state) {
        gif::LzwEncoder encoder;
        encoder.begin(*tables, out.data());
        for (int y = 0; y < kHeight; ++y) encoder.feed(input.data() + size_t(y) * kWidth, kWidth);
        encoded = encoder.finish();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
    state.counters["encoded_bytes"] = double(encoded);
}
BENCHMARK(BM_LzwEncode)->Unit(benchmark::kMillisecond);

void BM_LzwDecode(benchmark::State& state) {
    const std::vector<uint8_t>& input = indices();
    auto tables = std::make_unique<gif::LzwEncoderTables>();
    std::vector<uint8_t> codes(gif::lzwEncodedBound(input.size()) + gif::kLzwInputPadding, 0);
    gif::LzwEncoder encoder;
    encoder.begin(*tables, codes.data());
    encoder.feed(input.data(), input.size());
    const size_t size = encoder.finish();
    auto table = std::make_unique<gif::LzwDecoderTable>();
    std::vector<uint8_t> out(input.size());
    for (auto _ : state) {
        gif::decodeLzw(*table, codes.data(), size, 8, out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    if (out != input) state.SkipWithError("decoded indices differ");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
}
BENCHMARK(BM_LzwDecode)->Unit(benchmark::kMillisecond);

std::filesystem::path benchFile() {
    return std::filesystem::temp_directory_path() / "moravel-gif-bench.gif";
}

// The whole writer: colour reduction (median cut and nearest mapping), LZW
// and the file.
void BM_WriteGif(benchmark::State& state) {
    GifWriter writer;
    const std::u16string path = benchFile().u16string();
    for (auto _ : state)
        if (!writer.write(path.c_str(), picture().view())) state.SkipWithError("write failed");
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_WriteGif)->Unit(benchmark::kMillisecond);

void BM_ReadGif(benchmark::State& state) {
    GifWriter writer;
    const std::u16string path = benchFile().u16string();
    writer.write(path.c_str(), picture().view());
    GifReader reader;
    ImageRecord record{};
    for (auto _ : state) {
        if (!reader.read(path.c_str(), &record)) state.SkipWithError("read failed");
        releasePixelBuffer(record.pixels);
        record.pixels = nullptr;
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_ReadGif)->Unit(benchmark::kMillisecond);

}  // namespace
