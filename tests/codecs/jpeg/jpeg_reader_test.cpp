#include "codecs/jpeg/jpeg_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "codecs/jpeg/jpeg_library.h"
#include "codecs/jpeg/jpeg_scan_limit.h"
#include "codecs/jpeg/jpeg_source.h"
#include "codecs/jpeg/jpeg_writer.h"
#include "platform/platform.h"
#include "tests/codecs/jpeg/jpeg_test_support.h"

using namespace jpegtest;

namespace {

// A record whose pixel buffer is released when the test ends.
struct RecordHolder {
    ImageRecord record{};
    ~RecordHolder() { releasePixelBuffer(record.pixels); }
};

class JpegReaderTest : public ::testing::Test {
  protected:
    ImageRecord* read(const std::string& name) { return readPath(dataPath(name)); }
    ImageRecord* readPath(const fs::path& path) {
        releasePixelBuffer(holder.record.pixels);
        holder.record.pixels = nullptr;
        return reader.read(path.u16string().c_str(), &holder.record);
    }
    JpegReader reader;
    RecordHolder holder;
};

TEST_F(JpegReaderTest, ColourFilesDecodeLikeDjpeg) {
    for (const char* name : {"baseline_420", "baseline_422", "baseline_444", "progressive",
                             "restart", "metadata", "density72"}) {
        SCOPED_TRACE(name);
        ImageRecord* record = read(std::string(name) + ".jpg");
        ASSERT_EQ(record, &holder.record);
        EXPECT_EQ(reader.status(), kStatusOk);
        EXPECT_TRUE(recordMatches(*record, readPnm(dataPath(std::string(name) + ".pnm"))));
        const BitmapInfoHeader& header = record->header;
        EXPECT_EQ(header.biSize, 40u);
        EXPECT_EQ(header.biPlanes, 1);
        EXPECT_EQ(header.biCompression, 0u);
        EXPECT_EQ(header.biSizeImage, 0u);
        EXPECT_EQ(header.biClrUsed, 0u);
        EXPECT_EQ(header.biClrImportant, 0u);
        EXPECT_EQ(record->sourceFormat, uint32_t{kFormatJpeg});
        EXPECT_EQ(record->sourceBitsPerPixel, 24u);
        EXPECT_EQ(record->sourceFileSize, fs::file_size(dataPath(std::string(name) + ".jpg")));
        EXPECT_NE(record->sourceModified, 0u);
        EXPECT_EQ(record->palette[1].red, 0) << "24-bit records keep a cleared palette";
    }
}

TEST_F(JpegReaderTest, GreyFileGivesEightBitsWithIdentityPalette) {
    holder.record.palette[7] = {1, 2, 3, 4};  // left over from an earlier picture
    ImageRecord* record = read("gray.jpg");
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(recordMatches(*record, readPnm(dataPath("gray.pnm"))));
    EXPECT_EQ(record->header.biBitCount, 8);
    EXPECT_EQ(record->sourceBitsPerPixel, 8u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(record->palette[i].blue, i);
        EXPECT_EQ(record->palette[i].green, i);
        EXPECT_EQ(record->palette[i].red, i);
        EXPECT_EQ(record->palette[i].reserved, 0);
    }
}

TEST_F(JpegReaderTest, CmykFileGivesProductOfInkAndBlack) {
    ImageRecord* record = read("cmyk.jpg");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->header.biBitCount, 24);
    EXPECT_TRUE(recordMatches(*record, readPnm(dataPath("cmyk.pnm"))));
}

TEST_F(JpegReaderTest, TruncatedFileIsCompletedByTheLibrary) {
    ImageRecord* record = read("truncated.jpg");
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(recordMatches(*record, readPnm(dataPath("truncated.pnm"))));
}

TEST_F(JpegReaderTest, Resolution) {
    ASSERT_NE(read("density72.jpg"), nullptr);
    EXPECT_EQ(holder.record.header.biXPelsPerMeter, 2835);
    EXPECT_EQ(holder.record.header.biYPelsPerMeter, 2835);
    ASSERT_NE(read("density_cm.jpg"), nullptr);  // dots per centimetre, 118 x 59
    EXPECT_EQ(holder.record.header.biXPelsPerMeter, 11800);
    EXPECT_EQ(holder.record.header.biYPelsPerMeter, 5900);
    ASSERT_NE(read("baseline_420.jpg"), nullptr);  // aspect ratio only
    EXPECT_EQ(holder.record.header.biXPelsPerMeter, 0);
    EXPECT_EQ(holder.record.header.biYPelsPerMeter, 0);
    ASSERT_NE(read("metadata.jpg"), nullptr);  // 300 dpi
    EXPECT_EQ(holder.record.header.biXPelsPerMeter, 11811);
}

TEST(JpegScaleDenominator, FollowsTheRatioOfTheSmallerSide) {
    EXPECT_EQ(jpegScaleDenominator(4000, 3000, 500, 500), 4u);  // r = min(8, 6)
    EXPECT_EQ(jpegScaleDenominator(4000, 3000, 500, 1), 8u);    // by width
    EXPECT_EQ(jpegScaleDenominator(4000, 3000, 1, 1500), 2u);   // by height
    EXPECT_EQ(jpegScaleDenominator(4000, 3000, 1, 1501), 1u);
    EXPECT_EQ(jpegScaleDenominator(100, 100, 100, 100), 1u);
    EXPECT_EQ(jpegScaleDenominator(100, 100, 0, 100), 1u);
    EXPECT_EQ(jpegScaleDenominator(65500, 65500, 1, 1), 8u);
}

TEST_F(JpegReaderTest, SizeHintDecodesScaledLikeDjpeg) {
    ImageRecord* record = read("scale80.jpg");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->header.biWidth, 80);

    reader.setSizeHint(true, 40, 40);  // r = min(2, 1): full size
    ASSERT_NE(read("scale80.jpg"), nullptr);
    EXPECT_EQ(holder.record.header.biWidth, 80);

    reader.setSizeHint(true, 40, 1);  // by width: r = 2
    ASSERT_NE(read("scale80.jpg"), nullptr);
    EXPECT_TRUE(recordMatches(holder.record, readPnm(dataPath("scale80_half.pnm"))));

    reader.setSizeHint(true, 10, 1);  // r = 8
    ASSERT_NE(read("scale80.jpg"), nullptr);
    EXPECT_TRUE(recordMatches(holder.record, readPnm(dataPath("scale80_eighth.pnm"))));

    reader.setSizeHint(true, 0, 0);  // no hint at all
    ASSERT_NE(read("scale80.jpg"), nullptr);
    EXPECT_EQ(holder.record.header.biWidth, 80);

    reader.setSizeHint(false, 10, 1);
    ASSERT_NE(read("scale80.jpg"), nullptr);
    EXPECT_EQ(holder.record.header.biWidth, 80);
}

TEST_F(JpegReaderTest, LargePhotoWithLongerSideTargetDecodesAtOneQuarter) {
    ScratchFolder folder;
    OwnedPicture flat = makePicture(
        4000, 3000, [](int, int, uint8_t* rgb) { rgb[0] = 30, rgb[1] = 140, rgb[2] = 200; });
    JpegWriter writer;
    const fs::path file = folder / "large.jpg";
    ASSERT_TRUE(writer.write(file.u16string().c_str(), flat.picture));

    reader.setSizeHint(true, 500, 500);
    ImageRecord* record = readPath(file);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->header.biWidth, 1000);
    EXPECT_EQ(record->header.biHeight, 750);
    const uint8_t* middle = record->pixels + 375 * rowStride(1000, 24) + 500 * 3;
    EXPECT_NEAR(middle[0], 200, 4);
    EXPECT_NEAR(middle[1], 140, 4);
    EXPECT_NEAR(middle[2], 30, 4);
}

TEST_F(JpegReaderTest, GarbageAfterStartOfImageFailsCleanly) {
    holder.record.pixels = nullptr;
    EXPECT_EQ(read("garbage.jpg"), nullptr);
    EXPECT_EQ(holder.record.pixels, nullptr);
    EXPECT_EQ(reader.status(), kStatusMalformed) << "library errors leave a real status";
    EXPECT_NE(reader.messageText()[0], u'\0');

    // The next file starts afresh.
    ASSERT_NE(read("gray.jpg"), nullptr);
    EXPECT_EQ(reader.messageText()[0], u'\0');
}

TEST_F(JpegReaderTest, MissingOrEmptyFileIsAnInputError) {
    ScratchFolder folder;
    EXPECT_EQ(readPath(folder / "missing.jpg"), nullptr);
    EXPECT_EQ(reader.status(), kStatusInputError);
    writeBytes(folder / "empty.jpg", {});
    EXPECT_EQ(readPath(folder / "empty.jpg"), nullptr);
    EXPECT_EQ(reader.status(), kStatusInputError);
    writeBytes(folder / "soi.jpg", {0xFF, 0xD8});
    EXPECT_EQ(readPath(folder / "soi.jpg"), nullptr);
    EXPECT_EQ(holder.record.pixels, nullptr);
}

// The library gets the mapping a window at a time: whatever byte of the file
// falls on a window's edge (inside a segment's length, the scan header, the
// entropy-coded data or the very last byte), the pixels are the same, and
// comments are skipped across the edges.
TEST_F(JpegReaderTest, WindowEdgesAnywhereInTheFileChangeNothing) {
    ScratchFolder folder;
    for (const char* name : {"progressive", "restart", "truncated"}) {
        const std::vector<uint8_t> original = readBytes(dataPath(std::string(name) + ".jpg"));
        const Pnm expected = readPnm(dataPath(std::string(name) + ".pnm"));
        const size_t n = original.size();
        for (size_t edgeAt : {size_t{2}, size_t{3}, size_t{5}, n / 2, n - 40, n - 2, n - 1, n}) {
            SCOPED_TRACE(std::string(name) + ", edge before byte " + std::to_string(edgeAt));
            // Byte edgeAt of the original lands on the second window's first byte.
            const size_t padding = kJpegSourceWindow - edgeAt;
            for (size_t extraWindows : {size_t{0}, size_t{2}}) {
                writeBytes(
                    folder / "padded.jpg",
                    withCommentPadding(original, padding + extraWindows * kJpegSourceWindow));
                ImageRecord* record = readPath(folder / "padded.jpg");
                ASSERT_NE(record, nullptr);
                EXPECT_TRUE(recordMatches(*record, expected));
            }
        }
    }
}

TEST_F(JpegReaderTest, SegmentRunningPastTheEndOfALargeFileFailsCleanly) {
    ScratchFolder folder;
    std::vector<uint8_t> file = withCommentPadding({0xFF, 0xD8}, 3 * kJpegSourceWindow + 10);
    file.insert(file.end(), {0xFF, 0xFE, 0xFF, 0xFF, 'x', 'y'});  // 65533 bytes promised
    writeBytes(folder / "cut.jpg", file);
    EXPECT_EQ(readPath(folder / "cut.jpg"), nullptr);
    EXPECT_EQ(holder.record.pixels, nullptr);
    EXPECT_NE(reader.messageText()[0], u'\0');
}

// Rewrites the frame size of a fixture.
std::vector<uint8_t> withFrameSize(std::vector<uint8_t> file, uint16_t width, uint16_t height) {
    for (size_t at = 2; at + 9 < file.size();) {
        if (file[at] == 0xFF && (file[at + 1] == 0xC0 || file[at + 1] == 0xC2)) {
            file[at + 5] = uint8_t(height >> 8), file[at + 6] = uint8_t(height);
            file[at + 7] = uint8_t(width >> 8), file[at + 8] = uint8_t(width);
            return file;
        }
        at += 2 + (size_t(file[at + 2]) << 8 | file[at + 3]);
    }
    ADD_FAILURE() << "no frame header";
    return file;
}

TEST_F(JpegReaderTest, HostileFrameSizes) {
    ScratchFolder folder;
    const std::vector<uint8_t> original = readBytes(dataPath("baseline_420.jpg"));

    // 65000 x 22100 x 3 bytes does not fit in 32 bits.
    writeBytes(folder / "huge.jpg", withFrameSize(original, 65000, 22100));
    EXPECT_EQ(readPath(folder / "huge.jpg"), nullptr);
    EXPECT_EQ(reader.status(), kStatusUnsupported);
    EXPECT_EQ(holder.record.pixels, nullptr);

    // ... but it may be decoded at 1/8 when it is going to be shrunk, once the
    // file is long enough to hold its 33.7 million blocks at two bits each.
    reader.setSizeHint(true, 100, 100);
    EXPECT_EQ(readPath(folder / "huge.jpg"), nullptr);
    EXPECT_EQ(reader.status(), kStatusUnsupported);
    writeBytes(folder / "huge.jpg",
               withCommentPadding(withFrameSize(original, 65000, 22100), 8500000));
    ImageRecord* scaled = readPath(folder / "huge.jpg");
    ASSERT_NE(scaled, nullptr);
    EXPECT_EQ(scaled->header.biWidth, 8125);
    EXPECT_EQ(scaled->header.biHeight, 2763);
    reader.setSizeHint(false, 0, 0);

    writeBytes(folder / "zero.jpg", withFrameSize(original, 0, 29));
    EXPECT_EQ(readPath(folder / "zero.jpg"), nullptr);
    EXPECT_EQ(holder.record.pixels, nullptr);
}

TEST(JpegReaderRecord, AllocatesARecordWhenNoneIsGiven) {
    JpegReader reader;
    platform::PrivateHeap& heap = platform::privateHeap();
    const size_t blocks = heap.liveBlocks();
    ImageRecord* record = reader.read(dataPath("gray.jpg").u16string().c_str(), nullptr);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->header.biWidth, 37);
    EXPECT_EQ(heap.liveBlocks(), blocks + 1);
    releasePixelBuffer(record->pixels);
    heap.release(record);

    EXPECT_EQ(reader.read(dataPath("garbage.jpg").u16string().c_str(), nullptr), nullptr);
    EXPECT_EQ(reader.read(dataPath("missing.jpg").u16string().c_str(), nullptr), nullptr);
    EXPECT_EQ(heap.liveBlocks(), blocks);
}

}  // namespace

namespace {

TEST_F(JpegReaderTest, RefusesAbsurdNumbersOfScans) {
    ScratchFolder folder;
    writeBytes(folder / "many.jpg", withRepeatedLastScan(20));
    EXPECT_NE(readPath(folder / "many.jpg"), nullptr) << "odd but harmless";

    writeBytes(folder / "absurd.jpg", withRepeatedLastScan(kJpegMaxScans));
    EXPECT_EQ(readPath(folder / "absurd.jpg"), nullptr);
    EXPECT_EQ(holder.record.pixels, nullptr);
    EXPECT_EQ(std::u16string(reader.messageText()), u"Too many scans in the JPEG file");
}

}  // namespace

namespace {

// A JPEG whose frame holds `components` components of no known colour space,
// made with the library directly (no tool writes such files).
std::vector<uint8_t> unknownColourSpaceJpeg(int components) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = 16;
    cinfo.image_height = 8;
    cinfo.input_components = components;
    cinfo.in_color_space = JCS_UNKNOWN;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_UNKNOWN);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(16 * components, 100);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> file(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return file;
}

TEST_F(JpegReaderTest, TwoComponentFileIsUnsupported) {
    ScratchFolder folder;
    writeBytes(folder / "two.jpg", unknownColourSpaceJpeg(2));
    EXPECT_EQ(readPath(folder / "two.jpg"), nullptr);
    EXPECT_EQ(reader.status(), kStatusUnsupported);
    EXPECT_EQ(holder.record.pixels, nullptr);
}

}  // namespace

#ifdef __linux__
namespace {

TEST_F(JpegReaderTest, LeavesNoHandleOpen) {
    const size_t before = openDescriptors();
    EXPECT_EQ(read("garbage.jpg"), nullptr);
    EXPECT_NE(read("baseline_420.jpg"), nullptr);
    EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
#endif
