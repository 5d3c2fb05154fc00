#include "codecs/jpeg/jpeg_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "codecs/jpeg/jpeg_reader.h"
#include "tests/codecs/jpeg/jpeg_test_support.h"

using namespace jpegtest;

namespace {

class JpegWriterTest : public ::testing::Test {
  protected:
    JpegWriterTest() : source(pictureFromPnm(readPnm(dataPath("source.ppm")))) {}

    std::vector<uint8_t> written(const std::string& name, const PictureToWrite& picture) {
        const fs::path file = folder / name;
        EXPECT_TRUE(writer.write(file.u16string().c_str(), picture)) << name;
        return readBytes(file);
    }

    ScratchFolder folder;
    JpegWriter writer;
    OwnedPicture source;
};

// cjpeg with the writer's settings (optimised tables, baseline quantisation)
// must produce the very same bytes from the same pixels.
TEST_F(JpegWriterTest, EncodesLikeCjpeg) {
    EXPECT_EQ(written("q75_420.jpg", source.picture), readBytes(dataPath("writer_q75_420.jpg")));
    EXPECT_EQ(writer.encodingCount(), 1);

    writer.setSamplingFactors(2, 1);
    EXPECT_EQ(written("q75_422.jpg", source.picture), readBytes(dataPath("writer_q75_422.jpg")));

    writer.setSamplingFactors(1, 1);
    writer.setQuality(90);
    EXPECT_EQ(written("q90_444.jpg", source.picture), readBytes(dataPath("writer_q90_444.jpg")));

    writer.reset();
    writer.setQuality(1);
    EXPECT_EQ(written("q1_420.jpg", source.picture), readBytes(dataPath("writer_q1_420.jpg")));
}

TEST_F(JpegWriterTest, QualityZeroReachesTheLibraryUnchanged) {
    writer.setQuality(0);  // the library takes 0 as 1
    EXPECT_EQ(written("q0.jpg", source.picture), readBytes(dataPath("writer_q1_420.jpg")));
    EXPECT_EQ(writer.quality(), 0);
}

TEST(JpegWriterSettings, DriverMapping) {
    EXPECT_EQ(jpegQualityForSetting(0), 0);
    EXPECT_EQ(jpegQualityForSetting(100), 100);
    EXPECT_EQ(jpegQualityForSetting(101), 75);
    EXPECT_EQ(jpegQualityForSetting(-5), -5);
    int32_t h = 0, v = 0;
    jpegSamplingForSetting(0, h, v);
    EXPECT_EQ(h * 10 + v, 22);
    jpegSamplingForSetting(1, h, v);
    EXPECT_EQ(h * 10 + v, 21);
    jpegSamplingForSetting(2, h, v);
    EXPECT_EQ(h * 10 + v, 11);
    jpegSamplingForSetting(3, h, v);
    EXPECT_EQ(h * 10 + v, 22);
}

TEST_F(JpegWriterTest, QualityOverOneHundredFromTheDriverIsWrittenAtSeventyFive) {
    writer.setQuality(jpegQualityForSetting(101));
    EXPECT_EQ(written("q101.jpg", source.picture), readBytes(dataPath("writer_q75_420.jpg")));
}

TEST_F(JpegWriterTest, OnlyAJfifHeaderWithTheResolution) {
    source.picture.horizontalResolution = 2835;
    source.picture.verticalResolution = 2835;
    const std::vector<Segment> segments = headerSegments(written("dpi.jpg", source.picture));
    for (const Segment& segment : segments)
        EXPECT_FALSE((segment.marker >= 0xE1 && segment.marker <= 0xEF) || segment.marker == 0xFE)
            << "marker " << int(segment.marker);
    const Segment* jfif = findSegment(segments, 0xE0);
    ASSERT_NE(jfif, nullptr);
    ASSERT_GE(jfif->payload.size(), 12u);
    EXPECT_EQ(std::string(jfif->payload.begin(), jfif->payload.begin() + 5),
              std::string("JFIF\0", 5));
    EXPECT_EQ(jfif->payload[7], 1);  // dots per inch
    EXPECT_EQ(jfif->payload[8] << 8 | jfif->payload[9], 72);
    EXPECT_EQ(jfif->payload[10] << 8 | jfif->payload[11], 72);

    // Read back: 72 dpi is 2835 pixels per metre again.
    JpegReader reader;
    ImageRecord record{};
    ASSERT_NE(reader.read((folder / "dpi.jpg").u16string().c_str(), &record), nullptr);
    EXPECT_EQ(record.header.biXPelsPerMeter, 2835);
    EXPECT_EQ(record.header.biYPelsPerMeter, 2835);
    releasePixelBuffer(record.pixels);

    // Unknown resolution keeps the library's aspect-ratio-only header.
    source.picture.verticalResolution = 0;
    const std::vector<Segment> plainSegments = headerSegments(written("plain.jpg", source.picture));
    const Segment* plain = findSegment(plainSegments, 0xE0);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->payload[7], 0);
    EXPECT_EQ(plain->payload[8] << 8 | plain->payload[9], 1);

    // Absurd resolutions stay inside the 16-bit density fields.
    source.picture.horizontalResolution = INT32_MAX;
    source.picture.verticalResolution = 1;
    const std::vector<Segment> extremeSegments =
        headerSegments(written("extreme.jpg", source.picture));
    const Segment* extreme = findSegment(extremeSegments, 0xE0);
    ASSERT_NE(extreme, nullptr);
    EXPECT_EQ(extreme->payload[8] << 8 | extreme->payload[9], 65535);
    EXPECT_EQ(extreme->payload[10] << 8 | extreme->payload[11], 1);
}

TEST_F(JpegWriterTest, SamplingFactorsReachTheFrameHeader) {
    for (auto [h, v] : {std::pair{2, 2}, {2, 1}, {1, 1}}) {
        writer.setSamplingFactors(h, v);
        const std::vector<Segment> segments = headerSegments(written("s.jpg", source.picture));
        const Segment* frame = findSegment(segments, 0xC0);
        ASSERT_NE(frame, nullptr) << "baseline frame";
        ASSERT_EQ(frame->payload[5], 3);  // components
        EXPECT_EQ(frame->payload[7], h << 4 | v);
        EXPECT_EQ(frame->payload[10], 0x11);
        EXPECT_EQ(frame->payload[13], 0x11);
    }
    writer.setSamplingFactors(5, 5);  // not a JPEG sampling
    EXPECT_FALSE(writer.write((folder / "bad.jpg").u16string().c_str(), source.picture));
    EXPECT_NE(writer.messageText()[0], u'\0');
}

TEST_F(JpegWriterTest, GreyscaleAndProgressiveSwitches) {
    writer.setGreyscale(true);
    const std::vector<Segment> greySegments = headerSegments(written("g.jpg", source.picture));
    const Segment* grey = findSegment(greySegments, 0xC0);
    ASSERT_NE(grey, nullptr);
    EXPECT_EQ(grey->payload[5], 1);

    writer.setGreyscale(false);
    writer.setProgressive(true);
    const std::vector<Segment> progressive = headerSegments(written("p.jpg", source.picture));
    EXPECT_NE(findSegment(progressive, 0xC2), nullptr);
    JpegReader reader;
    ImageRecord record{};
    ASSERT_NE(reader.read((folder / "p.jpg").u16string().c_str(), &record), nullptr);
    releasePixelBuffer(record.pixels);

    writer.reset();
    EXPECT_EQ(written("r.jpg", source.picture), readBytes(dataPath("writer_q75_420.jpg")));
}

TEST_F(JpegWriterTest, EightBitPicturesAreWidenedThroughThePalette) {
    // Palette picture: index = (x + y) % 7 into seven colours.
    const int width = 37, height = 29;
    std::vector<RgbQuad> palette(256, RgbQuad{0, 0, 0, 0});
    for (int i = 0; i < 7; ++i)
        palette[i] = {uint8_t(i * 30), uint8_t(255 - i * 20), uint8_t(i * 37), 0};
    const uint32_t stride8 = rowStride(width, 8);
    std::vector<uint8_t> indices(size_t(stride8) * height + 4, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) indices[size_t(y) * stride8 + x] = uint8_t((x + y) % 7);
    PictureToWrite eight;
    eight.width = width;
    eight.height = height;
    eight.currentBitCount = 8;
    eight.loadedBitCount = 8;
    eight.palette = palette.data();
    eight.pixels = indices.data();

    OwnedPicture wide = makePicture(width, height, [&](int x, int y, uint8_t* rgb) {
        const RgbQuad& c = palette[(x + (height - 1 - y)) % 7];
        rgb[0] = c.red, rgb[1] = c.green, rgb[2] = c.blue;
    });
    EXPECT_EQ(written("eight.jpg", eight), written("wide.jpg", wide.picture));

    eight.palette = nullptr;
    EXPECT_FALSE(writer.write((folder / "nopalette.jpg").u16string().c_str(), eight));
    EXPECT_EQ(writer.status(), kStatusUnsupported);
}

TEST_F(JpegWriterTest, RefusesPicturesWithoutPixels) {
    PictureToWrite empty;
    EXPECT_FALSE(writer.write((folder / "e.jpg").u16string().c_str(), empty));
    EXPECT_EQ(writer.status(), kStatusUnsupported);
    source.picture.currentBitCount = 16;
    EXPECT_FALSE(writer.write((folder / "e.jpg").u16string().c_str(), source.picture));
    EXPECT_EQ(writer.status(), kStatusUnsupported);
}

TEST_F(JpegWriterTest, UnwritableOutputIsAnOutputError) {
    const fs::path file = folder / "no-such-folder" / "out.jpg";
    EXPECT_FALSE(writer.write(file.u16string().c_str(), source.picture));
    EXPECT_EQ(writer.status(), kStatusOutputError);
    EXPECT_FALSE(writer.writeLimited(file.u16string().c_str(), source.picture, 100));
    EXPECT_EQ(writer.status(), kStatusOutputError);
}

#ifdef __linux__
// A disk that fills up in the middle of the output file: the encoding fails
// through the library's write error, reports false and leaves no handle open.
TEST_F(JpegWriterTest, FailedWriteReportsFalseAndClosesTheFile) {
    const fs::path file = folder / "full.jpg";
    const size_t before = openDescriptors();
    {
        FileSizeLimit full(64);
        EXPECT_FALSE(writer.write(file.u16string().c_str(), source.picture));
        EXPECT_EQ(writer.status(), kStatusOutputError) << "a failed write is an output error";
        EXPECT_NE(writer.messageText()[0], u'\0');
        EXPECT_FALSE(writer.writeLimited(file.u16string().c_str(), source.picture, 100));
        EXPECT_EQ(writer.status(), kStatusOutputError);
    }
    EXPECT_EQ(openDescriptors(), before);

    // A picture larger than the 1 MiB buffer fails while writing a full buffer.
    OwnedPicture noisy = makePicture(1200, 1000, [](int x, int y, uint8_t* rgb) {
        uint32_t v = uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u;
        rgb[0] = uint8_t(v >> 8), rgb[1] = uint8_t(v >> 16), rgb[2] = uint8_t(v >> 24);
    });
    writer.setQuality(100);
    {
        FileSizeLimit full(1 << 20);
        EXPECT_FALSE(writer.write(file.u16string().c_str(), noisy.picture));
    }
    EXPECT_EQ(openDescriptors(), before);
}
#endif

// ---- Size-limited write

// A 160 x 120 picture with enough detail that its encoded size spans several
// KiB across the qualities.
OwnedPicture detailedPicture() {
    return makePicture(160, 120, [](int x, int y, uint8_t* rgb) {
        uint32_t v = uint32_t(x * 7 + y * 13) * 2654435761u;
        rgb[0] = uint8_t((x * 3 + (v >> 28)) & 255);
        rgb[1] = uint8_t((y * 2 + ((v >> 20) & 31)) & 255);
        rgb[2] = uint8_t(((x ^ y) * 4 + ((v >> 12) & 15)) & 255);
    });
}

TEST_F(JpegWriterTest, LimitedWriteThatFitsEncodesOnce) {
    const fs::path file = folder / "fits.jpg";
    ASSERT_TRUE(writer.writeLimited(file.u16string().c_str(), source.picture, 100));
    EXPECT_EQ(writer.encodingCount(), 1);
    EXPECT_EQ(writer.quality(), 75);
    EXPECT_EQ(readBytes(file), readBytes(dataPath("writer_q75_420.jpg")));
}

TEST_F(JpegWriterTest, LimitedWriteWritesQualityOneWhenNothingFits) {
    const fs::path file = folder / "none.jpg";
    ASSERT_TRUE(writer.writeLimited(file.u16string().c_str(), source.picture, 0));
    EXPECT_EQ(writer.quality(), 1);
    EXPECT_EQ(readBytes(file), readBytes(dataPath("writer_q1_420.jpg")));

    // The limit is taken modulo 2^24 KiB: 2^24 is a limit of 0.
    writer.setQuality(75);
    ASSERT_TRUE(writer.writeLimited(file.u16string().c_str(), source.picture, 1u << 24));
    EXPECT_EQ(writer.quality(), 1);
    writer.setQuality(75);
    ASSERT_TRUE(writer.writeLimited(file.u16string().c_str(), source.picture, (1u << 24) + 100));
    EXPECT_EQ(writer.quality(), 75);
    EXPECT_EQ(writer.encodingCount(), 1);
}

TEST_F(JpegWriterTest, LimitedWriteOfATinyPictureOutgrowsItsPixelSize) {
    // One pixel is 4 bytes of picture; its encoding takes hundreds.
    OwnedPicture tiny =
        makePicture(1, 1, [](int, int, uint8_t* rgb) { rgb[0] = 200, rgb[1] = 10, rgb[2] = 60; });
    const fs::path limited = folder / "tiny.jpg";
    ASSERT_TRUE(writer.writeLimited(limited.u16string().c_str(), tiny.picture, 64));
    EXPECT_EQ(writer.encodingCount(), 1);
    const std::vector<uint8_t> bytes = readBytes(limited);
    EXPECT_GT(bytes.size(), 4u);
    EXPECT_EQ(bytes, written("tiny_plain.jpg", tiny.picture));

    // A larger encoding than the first doubling, from a 4 x 4 picture (48 bytes).
    OwnedPicture small = makePicture(40, 4, [](int x, int y, uint8_t* rgb) {
        rgb[0] = uint8_t(x * 97), rgb[1] = uint8_t(y * 61 + x * 13), rgb[2] = uint8_t(x * x);
    });
    writer.setQuality(100);
    ASSERT_TRUE(writer.writeLimited(limited.u16string().c_str(), small.picture, 64));
    EXPECT_EQ(readBytes(limited), written("small_plain.jpg", small.picture));
}

// Every quality's encoded size, found by brute force on a small picture; the
// writer's search must land on the largest quality, at most the set one, whose
// file fits the limit (quality 1 when none fits), with a logarithmic number of
// encodings.
TEST_F(JpegWriterTest, LimitedWriteFindsTheLargestQualityThatFits) {
    OwnedPicture picture = detailedPicture();
    std::map<int, uint64_t> size;
    for (int q = 1; q <= 100; ++q) {
        writer.setQuality(q);
        size[q] = written("q.jpg", picture.picture).size();
    }
    ASSERT_LT(size[1], 8 * 1024u);
    ASSERT_GT(size[100], 16 * 1024u);
    // "Largest that fits" is only well defined on sizes that grow with quality.
    for (int q = 2; q <= 100; ++q) ASSERT_GE(size[q], size[q - 1]) << q;

    const fs::path file = folder / "limited.jpg";
    for (int start : {100, 75, 50, 3, 2, 1}) {
        for (uint32_t kib = 0; kib <= size[100] / 1024 + 1; ++kib) {
            SCOPED_TRACE("quality " + std::to_string(start) + ", limit " + std::to_string(kib));
            int largestFitting = 1;
            for (int q = 1; q <= start; ++q)
                if (size[q] <= kib * 1024ull) largestFitting = q;
            writer.setQuality(start);
            ASSERT_TRUE(writer.writeLimited(file.u16string().c_str(), picture.picture, kib));
            EXPECT_EQ(writer.quality(), largestFitting);
            EXPECT_EQ(fs::file_size(file), size[largestFitting]);
            EXPECT_LE(writer.encodingCount(), 12);  // a linear walk would take up to 100
        }
    }
}

}  // namespace
