// GIF writer: exact bytes of small files, the file structure, transparency,
// refusals, round trips through the reader and (natively) through PIL.
#include "codecs/gif/gif_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "codecs/gif/gif_reader.h"
#include "imaging/color_reducer.h"
#include "tests/codecs/gif/gif_test_support.h"
#include "tests/support/test_picture.h"

using giftest::indexAt;

namespace {

// What the reducer makes of a picture: palette and indices, top row first.
struct Reduced {
    RgbQuad palette[256] = {};
    std::vector<uint8_t> topDown;
};

Reduced reduce(const TestPicture& picture) {
    Reduced r;
    ColorReducer reducer;
    reducer.configure(picture.width, picture.height, picture.bits, 8);
    std::vector<uint8_t> indices(reducer.targetImageSize() + 4);
    EXPECT_TRUE(reducer.convertToIndices(picture.palette.data(), picture.pixels.data(), r.palette,
                                         indices.data()));
    for (int y = picture.height - 1; y >= 0; --y)
        r.topDown.insert(r.topDown.end(), indices.begin() + long(y) * picture.width,
                         indices.begin() + long(y + 1) * picture.width);
    return r;
}

TestPicture fewColours(int32_t w, int32_t h) {
    TestPicture p(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setRgb(x, y, static_cast<uint8_t>((x / 4) * 40), static_cast<uint8_t>((y / 3) * 50),
                     static_cast<uint8_t>(((x + y) % 3) * 100));
    return p;
}

TestPicture manyColours(int32_t w, int32_t h, unsigned seed) {
    TestPicture p(w, h, 24);
    std::mt19937 random(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setRgb(x, y, static_cast<uint8_t>(x * 255 / w), static_cast<uint8_t>(y * 255 / h),
                     static_cast<uint8_t>((x * y + random() % 32) & 0xFF));
    return p;
}

TestPicture indexed(int32_t w, int32_t h) {
    TestPicture p(w, h, 8);
    for (int i = 0; i < 256; ++i)
        p.palette[i] = RgbQuad{static_cast<uint8_t>(i * 3), static_cast<uint8_t>(i / 2 * 2),
                               static_cast<uint8_t>(255 - i / 4), 0};  // repeats in pairs
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) *p.at(x, y) = static_cast<uint8_t>((x * 7 + y * 13) % 256);
    return p;
}

// Walks the written file's structure and returns the code bytes of its image.
struct ParsedGif {
    bool ok = false;
    unsigned width = 0, height = 0;
    uint8_t packed = 0, background = 0;
    bool hasControl = false;
    uint8_t controlPacked = 0, controlIndex = 0;
    uint8_t imagePacked = 0;
    uint8_t minCodeSize = 0;
    std::vector<uint8_t> palette;
    std::vector<uint8_t> codes;
};

ParsedGif parse(const std::vector<uint8_t>& f) {
    ParsedGif g;
    if (f.size() < 13 + 768 || std::memcmp(f.data(), "GIF89a", 6) != 0) return g;
    g.width = f[6] | f[7] << 8;
    g.height = f[8] | f[9] << 8;
    g.packed = f[10];
    g.background = f[11];
    g.palette.assign(f.begin() + 13, f.begin() + 13 + 768);
    size_t p = 13 + 768;
    if (f[p] == 0x21) {
        if (f[p + 1] != 0xF9 || f[p + 2] != 4 || f[p + 7] != 0) return g;
        g.hasControl = true;
        g.controlPacked = f[p + 3];
        g.controlIndex = f[p + 6];
        p += 8;
    }
    if (f[p] != 0x2C || (f[p + 1] | f[p + 2] | f[p + 3] | f[p + 4]) != 0) return g;
    if (unsigned(f[p + 5] | f[p + 6] << 8) != g.width ||
        unsigned(f[p + 7] | f[p + 8] << 8) != g.height)
        return g;
    g.imagePacked = f[p + 9];
    g.minCodeSize = f[p + 10];
    p += 11;
    for (;;) {
        if (p >= f.size()) return g;
        const uint8_t n = f[p++];
        if (n == 0) break;
        if (p + n > f.size()) return g;
        // Every sub-block but the last is full.
        g.codes.insert(g.codes.end(), f.begin() + long(p), f.begin() + long(p + n));
        p += n;
        if (n != 255 && f[p] != 0) return g;
    }
    g.ok = p + 1 == f.size() && f[p] == 0x3B;
    return g;
}

class GifWriterTest : public ::testing::Test {
  protected:
    std::vector<uint8_t> writeBytes(const PictureToWrite& picture) {
        const auto path = folder_ / "out.gif";
        EXPECT_TRUE(writer_.write(u16(path).c_str(), picture)) << writer_.status();
        EXPECT_EQ(writer_.status(), 50000u);
        return readBytes(path);
    }

    TempFolder folder_;
    GifWriter writer_;
};

TEST_F(GifWriterTest, OnePixelFileByteForByte) {
    TestPicture p(1, 1, 24);
    p.setRgb(0, 0, 30, 20, 10);
    std::vector<uint8_t> expected = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0xF7, 0, 0};
    std::vector<uint8_t> table(768, 0);
    table[0] = 30, table[1] = 20, table[2] = 10;
    expected.insert(expected.end(), table.begin(), table.end());
    // Image descriptor, minimum code size 8, one sub-block with the codes
    // 256, 0, 257 at nine bits plus the flush byte, terminator, trailer.
    for (uint8_t b : {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 8, 4, 0x00, 0x01, 0x04, 0x04, 0, 0x3B})
        expected.push_back(b);
    EXPECT_EQ(writeBytes(p.view()), expected);

    // With a transparent colour: a control extension and the index as the
    // background index.
    PictureToWrite view = p.view();
    const uint8_t rgb[3] = {30, 20, 10};
    view.transparent = true;
    view.transparentRgb = rgb;
    std::vector<uint8_t> withControl = expected;
    const std::vector<uint8_t> control = {0x21, 0xF9, 4, 1, 0, 0, 0, 0};
    withControl.insert(withControl.begin() + 13 + 768, control.begin(), control.end());
    EXPECT_EQ(writeBytes(view), withControl);
}

TEST_F(GifWriterTest, StructureIsAlwaysFull256EntriesAndCodeSize8) {
    TestPicture two(9, 5, 24);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x)
            if ((x + y) % 2) two.setRgb(x, y, 255, 255, 255);
    for (const TestPicture* picture : {&two}) {
        ParsedGif g = parse(writeBytes(picture->view()));
        ASSERT_TRUE(g.ok);
        EXPECT_EQ(g.packed, 0xF7);
        EXPECT_EQ(g.background, 0);
        EXPECT_FALSE(g.hasControl);
        EXPECT_EQ(g.imagePacked, 0);
        EXPECT_EQ(g.minCodeSize, 8);
        // Black (sum 0) first, then white; the rest of the table is zero.
        EXPECT_EQ(std::vector<uint8_t>(g.palette.begin(), g.palette.begin() + 6),
                  (std::vector<uint8_t>{0, 0, 0, 255, 255, 255}));
        EXPECT_EQ(std::vector<uint8_t>(g.palette.begin() + 6, g.palette.end()),
                  std::vector<uint8_t>(762, 0));
    }
}

TEST_F(GifWriterTest, TransparentIndexIsExactOrNearest) {
    RgbQuad palette[256] = {};
    palette[0] = {10, 10, 10, 0};
    palette[1] = {200, 100, 50, 0};  // blue, green, red
    palette[2] = {200, 100, 50, 0};
    palette[3] = {0, 0, 250, 0};
    const uint8_t exact[3] = {50, 100, 200};  // red, green, blue
    EXPECT_EQ(gifTransparentIndex(palette, exact), 1);
    const uint8_t near3[3] = {240, 5, 5};
    EXPECT_EQ(gifTransparentIndex(palette, near3), 3);
    // Unused entries are black and take part like any other.
    const uint8_t black[3] = {0, 0, 0};
    EXPECT_EQ(gifTransparentIndex(palette, black), 4);
    // Equal distances: the lowest index wins.
    RgbQuad two[256] = {};
    for (auto& e : two) e = {100, 100, 100, 0};
    two[5] = {0, 0, 0, 0};
    two[6] = {20, 0, 0, 0};
    const uint8_t between[3] = {0, 0, 10};
    EXPECT_EQ(gifTransparentIndex(two, between), 5);
}

TEST_F(GifWriterTest, TransparentColourIsDeclaredAsBackgroundToo) {
    TestPicture p = fewColours(40, 30);
    PictureToWrite view = p.view();
    const uint8_t rgb[3] = {40, 50, 100};  // present in the picture
    view.transparent = true;
    view.transparentRgb = rgb;
    ParsedGif g = parse(writeBytes(view));
    ASSERT_TRUE(g.ok);
    ASSERT_TRUE(g.hasControl);
    EXPECT_EQ(g.controlPacked, 1);
    EXPECT_EQ(g.background, g.controlIndex);
    EXPECT_EQ(std::vector<uint8_t>(g.palette.begin() + 3 * g.controlIndex,
                                   g.palette.begin() + 3 * g.controlIndex + 3),
              (std::vector<uint8_t>{40, 50, 100}));
    EXPECT_NE(g.controlIndex, 0);

    // A request without its colour bytes is no request.
    view.transparentRgb = nullptr;
    g = parse(writeBytes(view));
    EXPECT_FALSE(g.hasControl);
}

TEST_F(GifWriterTest, Refusals) {
    TestPicture p(2, 2, 24);
    PictureToWrite view = p.view();
    const auto path = folder_ / "out.gif";
    view.width = 65536;
    EXPECT_FALSE(writer_.write(u16(path).c_str(), view));
    EXPECT_EQ(writer_.status(), 50005u);
    view.width = 2;
    view.height = 65536;
    EXPECT_FALSE(writer_.write(u16(path).c_str(), view));
    EXPECT_EQ(writer_.status(), 50005u);
    view.height = 0;
    EXPECT_FALSE(writer_.write(u16(path).c_str(), view));
    EXPECT_EQ(writer_.status(), 50005u);

    view = p.view();
    view.currentBitCount = 16;
    EXPECT_FALSE(writer_.write(u16(path).c_str(), view));
    EXPECT_EQ(writer_.status(), 50006u);

    const auto noFolder = folder_ / "missing" / "out.gif";
    EXPECT_FALSE(writer_.write(u16(noFolder).c_str(), p.view()));
    EXPECT_EQ(writer_.status(), 50005u);

    // The writer recovers for the next picture.
    EXPECT_TRUE(writer_.write(u16(path).c_str(), p.view()));
    EXPECT_EQ(writer_.status(), 50000u);
}

TEST_F(GifWriterTest, LargestSideIsAccepted) {
    TestPicture p(65535, 1, 8);
    for (int x = 0; x < 65535; ++x) *p.at(x, 0) = static_cast<uint8_t>(x % 5);
    for (int i = 0; i < 5; ++i) p.palette[i] = {static_cast<uint8_t>(i * 50), 0, 0, 0};
    ParsedGif g = parse(writeBytes(p.view()));
    ASSERT_TRUE(g.ok);
    EXPECT_EQ(g.width, 65535u);
}

// Written files read back through the reader give the reducer's palette and
// indices, for every layout, size and the interlaced order.
TEST_F(GifWriterTest, RoundTripThroughTheReader) {
    std::vector<TestPicture> pictures;
    pictures.push_back(fewColours(1, 1));
    pictures.push_back(fewColours(5, 3));
    pictures.push_back(fewColours(1, 37));
    pictures.push_back(fewColours(61, 45));
    pictures.push_back(manyColours(130, 77, 1));
    pictures.push_back(indexed(33, 18));
    GifReader reader;
    for (bool interlace : {false, true}) {
        writer_.setInterlace(interlace);
        for (const TestPicture& picture : pictures) {
            SCOPED_TRACE(testing::Message() << picture.width << "x" << picture.height << "x"
                                            << picture.bits << " interlace " << interlace);
            const Reduced expected = reduce(picture);
            const auto path = folder_ / "round.gif";
            ASSERT_TRUE(writer_.write(u16(path).c_str(), picture.view()));
            ImageRecord record{};
            ASSERT_TRUE(reader.read(u16(path).c_str(), &record)) << reader.status();
            for (int i = 0; i < 256; ++i) {
                EXPECT_EQ(record.palette[i].red, expected.palette[i].red) << i;
                EXPECT_EQ(record.palette[i].green, expected.palette[i].green) << i;
                EXPECT_EQ(record.palette[i].blue, expected.palette[i].blue) << i;
            }
            bool same = true;
            for (int y = 0; y < picture.height && same; ++y)
                for (int x = 0; x < picture.width && same; ++x)
                    same = indexAt(record, x, y) == expected.topDown[size_t(y) * picture.width + x];
            EXPECT_TRUE(same);
            releasePixelBuffer(record.pixels);
        }
    }
    // Every interlace pass layout for small heights.
    writer_.setInterlace(true);
    for (int h = 1; h <= 17; ++h) {
        TestPicture picture = fewColours(3, h);
        for (int y = 0; y < h; ++y) picture.setRgb(0, y, static_cast<uint8_t>(y), 0, 0);
        const auto path = folder_ / "rows.gif";
        ASSERT_TRUE(writer_.write(u16(path).c_str(), picture.view()));
        ImageRecord record{};
        ASSERT_TRUE(reader.read(u16(path).c_str(), &record));
        for (int y = 0; y < h; ++y)
            EXPECT_EQ(record.palette[indexAt(record, 0, y)].red, y) << "height " << h;
        releasePixelBuffer(record.pixels);
    }
}

#ifndef _WIN32
// PIL decodes written files to exactly the reducer's palette and indices.
TEST_F(GifWriterTest, IndependentDecoderAgrees) {
    if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0)
        GTEST_SKIP() << "no python3 with PIL";
    const auto script = giftest::dataFolder() / "decode_with_pil.py";
    std::vector<TestPicture> pictures;
    pictures.push_back(fewColours(1, 1));
    pictures.push_back(fewColours(7, 3));
    pictures.push_back(manyColours(300, 200, 2));  // median cut, many table resets
    pictures.push_back(indexed(64, 64));
    TestPicture noise(256, 256, 8);
    std::mt19937 random(5);
    for (int i = 0; i < 256; ++i)
        noise.palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                            static_cast<uint8_t>(i * 7), 0};
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) *noise.at(x, y) = static_cast<uint8_t>(random());
    pictures.push_back(std::move(noise));

    for (bool interlace : {false, true}) {
        writer_.setInterlace(interlace);
        for (const TestPicture& picture : pictures) {
            SCOPED_TRACE(testing::Message()
                         << picture.width << "x" << picture.height << " interlace " << interlace);
            const Reduced expected = reduce(picture);
            const auto gif = folder_ / "pil.gif";
            const auto raw = folder_ / "pil.raw";
            PictureToWrite view = picture.view();
            const uint8_t rgb[3] = {expected.palette[1].red, expected.palette[1].green,
                                    expected.palette[1].blue};
            view.transparent = picture.width == 7;
            view.transparentRgb = rgb;
            ASSERT_TRUE(writer_.write(u16(gif).c_str(), view));
            const std::string command = "/usr/bin/python3 '" + script.string() + "' '" +
                                        gif.string() + "' '" + raw.string() + "'";
            ASSERT_EQ(std::system(command.c_str()), 0);
            const std::vector<uint8_t> decoded = readBytes(raw);
            ASSERT_EQ(decoded.size(), 8 + 768 + size_t(picture.width) * picture.height);
            EXPECT_EQ(decoded[0] | decoded[1] << 8, picture.width);
            EXPECT_EQ(decoded[2] | decoded[3] << 8, picture.height);
            if (view.transparent) {
                EXPECT_EQ(decoded[6] | decoded[7] << 8, 1);  // transparent index
                EXPECT_EQ(decoded[4] | decoded[5] << 8, 1);  // background index
            } else {
                EXPECT_EQ(decoded[6] | decoded[7] << 8, 0xFFFF);
            }
            for (int i = 0; i < 256; ++i) {
                ASSERT_EQ(decoded[8 + 3 * i], expected.palette[i].red) << i;
                ASSERT_EQ(decoded[8 + 3 * i + 1], expected.palette[i].green) << i;
                ASSERT_EQ(decoded[8 + 3 * i + 2], expected.palette[i].blue) << i;
            }
            EXPECT_TRUE(std::equal(expected.topDown.begin(), expected.topDown.end(),
                                   decoded.begin() + 8 + 768));
        }
    }
}
#endif

}  // namespace
