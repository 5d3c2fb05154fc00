// The WebP writer: row and channel order and palettes, checked by decoding
// lossless files; sizes libwebp cannot hold refused before any pixel is read.
#include "formats/webp_encoder.h"

#include <gtest/gtest.h>
#include <webp/decode.h>

#include <vector>

#include "tests/support/temp_folder.h"

namespace {

using formats::WebpWriteStatus;

// RGB of a pixel of the decoded file, top-down.
std::vector<uint8_t> decodeRgb(const std::vector<uint8_t>& file, int& width, int& height) {
    uint8_t* rgb = WebPDecodeRGB(file.data(), file.size(), &width, &height);
    if (!rgb) return {};
    std::vector<uint8_t> pixels(rgb, rgb + static_cast<size_t>(width) * height * 3);
    WebPFree(rgb);
    return pixels;
}

TEST(WebpWriter, LosslessKeepsEveryPixelOfBothLayouts) {
    // 3 x 2, bottom-up rows padded to 4 bytes: BGR for 24 bits, indices for 8.
    const uint8_t bgr[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,  // bottom row
                           10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
    const std::vector<uint8_t> topDownRgb = {12, 11, 10, 15, 14, 13, 18, 17, 16,
                                             3,  2,  1,  6,  5,  4,  9,  8,  7};
    RgbQuad palette[256] = {};
    palette[0] = {1, 2, 3, 0};  // blue, green, red
    palette[1] = {4, 5, 6, 0};
    palette[2] = {7, 8, 9, 0};
    const uint8_t indices[] = {0, 1, 2, 0, 2, 1, 0, 0};
    const std::vector<uint8_t> paletteRgb = {9, 8, 7, 6, 5, 4, 3, 2, 1, 3, 2, 1, 6, 5, 4, 9, 8, 7};
    struct Case {
        uint32_t bits;
        const uint8_t* pixels;
        const std::vector<uint8_t>* expected;
    } cases[] = {{24, bgr, &topDownRgb}, {8, indices, &paletteRgb}};
    TempFolder folder;
    for (const Case& c : cases) {
        PictureToWrite picture;
        picture.width = 3;
        picture.height = 2;
        picture.currentBitCount = c.bits;
        picture.pixels = c.pixels;
        picture.palette = palette;
        const auto path = folder / "out.webp";
        const auto result = formats::writeWebp(u16(path).c_str(), picture, {75, true});
        ASSERT_EQ(result.status, WebpWriteStatus::Written) << c.bits;
        const std::vector<uint8_t> file = readBytes(path);
        EXPECT_EQ(result.bytes, file.size());
        int width = 0, height = 0;
        EXPECT_EQ(decodeRgb(file, width, height), *c.expected) << c.bits;
        EXPECT_EQ(width, 3);
        EXPECT_EQ(height, 2);
    }
}

TEST(WebpWriter, RefusesWhatItCannotHoldWithoutReadingPixelsOrMakingAFile) {
    // One pixel of data: any read of the claimed rows would leave the buffer.
    const uint8_t pixel[4] = {};
    struct Case {
        int32_t width, height;
        uint32_t bits;
        WebpWriteStatus expected;
    } cases[] = {
        {formats::kWebpMaxSide + 1, 1, 24, WebpWriteStatus::TooLarge},
        {1, formats::kWebpMaxSide + 1, 24, WebpWriteStatus::TooLarge},
        {INT32_MAX, INT32_MAX, 24, WebpWriteStatus::TooLarge},
        {0, 1, 24, WebpWriteStatus::Unsupported},
        {1, -1, 24, WebpWriteStatus::Unsupported},
        {1, 1, 32, WebpWriteStatus::Unsupported},
        {1, 1, 8, WebpWriteStatus::Unsupported},  // no palette
    };
    TempFolder folder;
    const auto path = folder / "never.webp";
    for (const Case& c : cases) {
        PictureToWrite picture;
        picture.width = c.width;
        picture.height = c.height;
        picture.currentBitCount = c.bits;
        picture.pixels = pixel;
        const auto result = formats::writeWebp(u16(path).c_str(), picture, {});
        EXPECT_EQ(result.status, c.expected) << c.width << "x" << c.height << "/" << c.bits;
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

}  // namespace
