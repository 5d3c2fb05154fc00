#include "codecs/bmp/bmp_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <random>

#include "codecs/bmp/bmp_reader.h"
#include "imaging/color_reducer.h"
#include "tests/codecs/bmp/bmp_test_util.h"

using namespace bmptest;

namespace {

size_t stride(int width, int bits) {
    return (size_t(width) * (bits / 8) + 3) & ~size_t{3};
}

// A picture with its own storage.
struct OwnedPicture {
    std::vector<RgbQuad> palette = std::vector<RgbQuad>(256);
    std::vector<uint8_t> pixels;
    PictureToWrite picture;

    OwnedPicture(int width, int height, int current, int loaded, uint32_t seed, int colours = 256) {
        std::mt19937 random(seed);
        for (int i = 0; i < 256; ++i)
            palette[i] = {uint8_t(random()), uint8_t(random()), uint8_t(random()), uint8_t(i)};
        pixels.assign(stride(width, current) * height + 4, 0);
        for (int y = 0; y < height; ++y) {
            uint8_t* row = &pixels[y * stride(width, current)];
            for (int x = 0; x < width; ++x) {
                if (current == 8) {
                    row[x] = uint8_t(random() % colours);
                } else {
                    const RgbQuad& q = palette[random() % colours];
                    row[3 * x] = q.blue, row[3 * x + 1] = q.green, row[3 * x + 2] = q.red;
                }
            }
        }
        picture.width = width;
        picture.height = height;
        picture.currentBitCount = uint32_t(current);
        picture.loadedBitCount = uint16_t(loaded);
        picture.horizontalResolution = 3780;
        picture.verticalResolution = 2835;
        picture.palette = palette.data();
        picture.pixels = pixels.data();
    }
    // Colour of pixel (x, y) counted from the bottom row.
    std::array<uint8_t, 3> bgr(int x, int y) const {
        if (picture.currentBitCount == 8) {
            const RgbQuad& q = palette[pixels[y * stride(picture.width, 8) + x]];
            return {q.blue, q.green, q.red};
        }
        const uint8_t* p = &pixels[y * stride(picture.width, 24) + 3 * x];
        return {p[0], p[1], p[2]};
    }
};

std::array<uint8_t, 3> decodedBgr(const ImageRecord& r, int x, int y) {
    if (r.header.biBitCount == 8) {
        const RgbQuad& q = r.palette[r.pixels[y * stride(r.header.biWidth, 8) + x]];
        return {q.blue, q.green, q.red};
    }
    const uint8_t* p = &r.pixels[y * stride(r.header.biWidth, 24) + 3 * x];
    return {p[0], p[1], p[2]};
}

void expectHeaders(const std::vector<uint8_t>& file, int width, int height, int bits) {
    const uint32_t colours = bits == 8 ? 256 : 0;
    const uint32_t imageSize = uint32_t(stride(width, bits) * height);
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(getU32(file, 2), imageSize + 4 * colours + 54);  // bfSize
    EXPECT_EQ(getU32(file, 6), 0u);
    EXPECT_EQ(getU32(file, 10), 54 + 4 * colours);  // bfOffBits
    EXPECT_EQ(getU32(file, 14), 40u);
    EXPECT_EQ(getU32(file, 18), uint32_t(width));
    EXPECT_EQ(getU32(file, 22), uint32_t(height));
    EXPECT_EQ(file[26] | file[27] << 8, 1);
    EXPECT_EQ(file[28] | file[29] << 8, bits);
    EXPECT_EQ(getU32(file, 30), 0u);
    EXPECT_EQ(getU32(file, 34), 0u);
    EXPECT_EQ(getU32(file, 38), 3780u);
    EXPECT_EQ(getU32(file, 42), 2835u);
    EXPECT_EQ(getU32(file, 46), colours);
    EXPECT_EQ(getU32(file, 50), 0u);
    EXPECT_EQ(file.size(), size_t(imageSize + 4 * colours + 54));
}

// Writes, checks the headers, reads back and compares every pixel's colour.
void roundTrip(const OwnedPicture& source, int expectedBits) {
    TempFile file("write");
    BmpWriter writer;
    ASSERT_TRUE(writer.write(file.wide(), source.picture)) << writer.status();
    EXPECT_EQ(writer.status(), 50000u);
    std::vector<uint8_t> bytes = readBytes(file.path());
    const int w = source.picture.width, h = source.picture.height;
    expectHeaders(bytes, w, h, expectedBits);

    BmpReader reader;
    ImageRecord record{};
    ASSERT_EQ(reader.read(file.wide(), &record), &record) << reader.status();
    EXPECT_EQ(record.header.biBitCount, expectedBits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(decodedBgr(record, x, y), source.bgr(x, y)) << x << "," << y;
    releasePixelBuffer(record.pixels);
}

}  // namespace

TEST(BmpWriter, EightBitsAtEightBitsKeepPaletteAndRows) {
    OwnedPicture source(5, 3, 8, 8, 1);
    roundTrip(source, 8);
    TempFile file("raw8");
    BmpWriter writer;
    ASSERT_TRUE(writer.write(file.wide(), source.picture));
    std::vector<uint8_t> bytes = readBytes(file.path());
    EXPECT_EQ(getU32(bytes, 10), 1078u);
    EXPECT_EQ(getU32(bytes, 46), 256u);
    EXPECT_EQ(0, std::memcmp(&bytes[54], source.palette.data(), 1024));  // reserved bytes too
    EXPECT_EQ(0, std::memcmp(&bytes[1078], source.pixels.data(), 8 * 3));
}

TEST(BmpWriter, EightBitRowsWrittenAtTwentyFourBits) {
    OwnedPicture source(5, 3, 8, 24, 2);
    roundTrip(source, 24);
    TempFile file("wide");
    BmpWriter writer;
    ASSERT_TRUE(writer.write(file.wide(), source.picture));
    std::vector<uint8_t> bytes = readBytes(file.path());
    EXPECT_EQ(getU32(bytes, 10), 54u);
    EXPECT_EQ(getU32(bytes, 46), 0u);
}

TEST(BmpWriter, TwentyFourBitsAtTwentyFourBits) {
    OwnedPicture source(7, 4, 24, 24, 3);
    roundTrip(source, 24);
}

TEST(BmpWriter, WidenedPictureGoesBackToEightBitsWithItsColours) {
    // Loaded at 8 bits, widened to 24 for resizing: at most 256 colours, so
    // the exact palette keeps every colour.
    OwnedPicture source(9, 6, 24, 8, 4, 40);
    roundTrip(source, 8);
}

TEST(BmpWriter, ManyColoursAreNarrowedByTheReducer) {
    const int w = 31, h = 17;
    OwnedPicture source(w, h, 24, 8, 5);
    std::mt19937 random(8);
    for (auto& b : source.pixels) b = uint8_t(random());  // far more than 256 colours
    TempFile file("narrow");
    BmpWriter writer;
    ASSERT_TRUE(writer.write(file.wide(), source.picture));
    std::vector<uint8_t> bytes = readBytes(file.path());
    expectHeaders(bytes, w, h, 8);

    ColorReducer reducer;
    reducer.configure(w, h, 24, 8);
    std::vector<RgbQuad> palette(256, RgbQuad{});
    std::vector<uint8_t> rows(reducer.targetImageSize() + 4);
    ASSERT_TRUE(reducer.convertPacked(nullptr, source.pixels.data(), palette.data(), rows.data()));
    EXPECT_EQ(0, std::memcmp(&bytes[54], palette.data(), 1024));
    EXPECT_EQ(0, std::memcmp(&bytes[1078], rows.data(), reducer.targetImageSize()));
}

TEST(BmpWriter, Failures) {
    OwnedPicture source(4, 4, 24, 24, 6);
    BmpWriter writer;
    fs::path noFolder = fs::temp_directory_path() / "moravel_no_such_folder" / "out.bmp";
    EXPECT_FALSE(writer.write(u16(noFolder).c_str(), source.picture));
    EXPECT_EQ(writer.status(), 50005u);

    TempFile file("fail");
    PictureToWrite empty = source.picture;
    empty.width = 0;
    EXPECT_FALSE(writer.write(file.wide(), empty));
    EXPECT_EQ(writer.status(), 50001u);

    PictureToWrite odd = source.picture;
    odd.loadedBitCount = 16;
    EXPECT_FALSE(writer.write(file.wide(), odd));
    EXPECT_EQ(writer.status(), 50006u);

    // Too large for the 32-bit file size field.
    PictureToWrite huge = source.picture;
    huge.width = 65535;
    huge.height = 65535;
    EXPECT_FALSE(writer.write(file.wide(), huge));
    EXPECT_EQ(writer.status(), 50005u);

    // A later write starts afresh.
    EXPECT_TRUE(writer.write(file.wide(), source.picture));
    EXPECT_EQ(writer.status(), 50000u);
}

// The written files decode to the same colours in an independent decoder.
TEST(BmpWriter, IndependentDecoderReadsTheOutput) {
#ifdef _WIN32
    GTEST_SKIP() << "needs Debian's python3 with PIL";
#else
    if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-pil not installed";
    struct Case {
        int current, loaded;
    } cases[] = {{8, 8}, {8, 24}, {24, 24}, {24, 8}};
    for (const Case& c : cases) {
        OwnedPicture source(11, 5, c.current, c.loaded, 10 + c.current + c.loaded, 50);
        TempFile file("pil");
        TempFile raw("pil_rgb");
        BmpWriter writer;
        ASSERT_TRUE(writer.write(file.wide(), source.picture));
        std::string command =
            "/usr/bin/python3 -c \"import sys; from PIL import Image; "
            "open(sys.argv[2], 'wb').write(Image.open(sys.argv[1])"
            ".convert('RGB').tobytes())\" '" +
            file.path().string() + "' '" + raw.path().string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::vector<uint8_t> rgb = readBytes(raw.path());
        ASSERT_EQ(rgb.size(), 11u * 5 * 3);
        for (int y = 0; y < 5; ++y)  // PIL rows are top-down
            for (int x = 0; x < 11; ++x) {
                const uint8_t* p = &rgb[((4 - y) * 11 + x) * 3];
                auto bgr = source.bgr(x, y);
                ASSERT_EQ(p[0], bgr[2]) << c.current << "->" << c.loaded;
                ASSERT_EQ(p[1], bgr[1]);
                ASSERT_EQ(p[2], bgr[0]);
            }
    }
#endif
}
