// The fast LZW encoder against the plain reference encoder (same bytes), and
// round trips through the decoder.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "codecs/gif/gif_lzw_decoder.h"
#include "codecs/gif/gif_lzw_encoder.h"
#include "tests/codecs/gif/gif_lzw_reference.h"

namespace {

// Encodes `input` handing it to the encoder in pieces of `piece` bytes.
std::vector<uint8_t> fastEncode(const std::vector<uint8_t>& input, size_t piece) {
    auto tables = std::make_unique<gif::LzwEncoderTables>();
    std::vector<uint8_t> out(gif::lzwEncodedBound(input.size()));
    gif::LzwEncoder encoder;
    encoder.begin(*tables, out.data());
    for (size_t i = 0; i < input.size(); i += piece)
        encoder.feed(input.data() + i, std::min(piece, input.size() - i));
    out.resize(encoder.finish());
    return out;
}

std::vector<uint8_t> decode(const std::vector<uint8_t>& codes, size_t pixels) {
    auto table = std::make_unique<gif::LzwDecoderTable>();
    std::vector<uint8_t> data = codes;
    data.resize(codes.size() + gif::kLzwInputPadding, 0);
    std::vector<uint8_t> out(pixels, 0xEE);
    gif::LzwDecodeResult result =
        gif::decodeLzw(*table, data.data(), codes.size(), 8, out.data(), out.size());
    EXPECT_EQ(result.written, pixels);
    EXPECT_TRUE(result.endCodeSeen);
    return out;
}

// Inputs that exercise short strings, long runs, table resets and widths.
std::vector<std::vector<uint8_t>> sampleInputs() {
    std::mt19937 random(12345);
    std::vector<std::vector<uint8_t>> inputs;
    for (size_t n : {1, 2, 3, 4, 5, 17, 255, 256, 511, 512, 1000}) {
        std::vector<uint8_t> v(n);
        for (auto& b : v) b = static_cast<uint8_t>(random() % 4);
        inputs.push_back(v);
    }
    inputs.push_back(std::vector<uint8_t>(100000, 7));  // one long run
    std::vector<uint8_t> noise(300000);
    for (auto& b : noise) b = static_cast<uint8_t>(random());  // a reset every ~3800 codes
    inputs.push_back(noise);
    std::vector<uint8_t> few(200000);
    for (auto& b : few) b = static_cast<uint8_t>(random() % 3 == 0 ? random() % 16 : 1);
    inputs.push_back(few);
    std::vector<uint8_t> gradient(640 * 480);
    for (size_t i = 0; i < gradient.size(); ++i)
        gradient[i] = static_cast<uint8_t>((i % 640) / 3 + (i / 640) / 5);
    inputs.push_back(gradient);
    // Every length around the widening and reset points of a sequence that
    // adds one entry per code.
    std::vector<uint8_t> ramp;
    for (int i = 0; i < 9000; ++i) ramp.push_back(static_cast<uint8_t>(i * 131 + i / 256));
    for (size_t n : {253, 254, 255, 256, 257, 510, 511, 512, 1790, 3837, 3838, 3839, 3840, 7680})
        inputs.emplace_back(ramp.begin(), ramp.begin() + static_cast<long>(n));
    return inputs;
}

TEST(GifLzw, FastEncoderMatchesTheReferenceByteForByte) {
    for (const auto& input : sampleInputs()) {
        const std::vector<uint8_t> expected = giftest::referenceLzwEncode(input);
        for (size_t piece : {input.size(), size_t{1}, size_t{3}, size_t{640}}) {
            ASSERT_EQ(fastEncode(input, piece), expected)
                << "input of " << input.size() << " bytes in pieces of " << piece;
        }
    }
}

TEST(GifLzw, DecoderRestoresWhatTheEncoderWrote) {
    for (const auto& input : sampleInputs()) {
        ASSERT_EQ(decode(fastEncode(input, 97), input.size()), input)
            << "input of " << input.size() << " bytes";
    }
}

TEST(GifLzw, OnePixelIsClearPixelEndAndAFlushByte) {
    // 256, 5, 257 at nine bits: 27 bits in three whole bytes and one more
    // byte with the last three bits.
    EXPECT_EQ(fastEncode({5}, 1), (std::vector<uint8_t>{0x00, 0x0B, 0x04, 0x04}));
    EXPECT_EQ(giftest::referenceLzwEncode({5}), (std::vector<uint8_t>{0x00, 0x0B, 0x04, 0x04}));
}

TEST(GifLzw, FlushByteIsWrittenEvenWhenNoBitsRemain) {
    // clear + 7 codes + end = 9 codes of nine bits = 81 bits; find an input
    // whose codes end on a byte boundary: 8 codes of 9 bits = 72 bits.
    // clear, a, b, c, d, e, f (six distinct bytes, the last on its own), end.
    const std::vector<uint8_t> input = {1, 2, 3, 4, 5, 6};
    const std::vector<uint8_t> codes = fastEncode(input, 6);
    EXPECT_EQ(codes.size(), 72u / 8 + 1);
    EXPECT_EQ(codes.back(), 0);
    EXPECT_EQ(codes, giftest::referenceLzwEncode(input));
}

TEST(GifLzw, EncodedBoundHoldsForIncompressibleInput) {
    std::mt19937 random(99);
    for (size_t n : {1, 2, 10, 4000, 100000}) {
        std::vector<uint8_t> v(n);
        for (auto& b : v) b = static_cast<uint8_t>(random());
        EXPECT_LE(giftest::referenceLzwEncode(v).size() + 4, gif::lzwEncodedBound(n)) << n;
    }
}

}  // namespace
