#include "codecs/jpeg/jpeg_copy.h"

#include <gtest/gtest.h>

#include "codecs/jpeg/jpeg_reader.h"
#include "codecs/jpeg/jpeg_scan_limit.h"
#include "codecs/jpeg/jpeg_source.h"
#include "platform/platform.h"
#include "tests/codecs/jpeg/jpeg_test_support.h"

using namespace jpegtest;

namespace {

class JpegCopyTest : public ::testing::Test {
  protected:
    // Copies a fixture into the scratch folder (the source must be writable
    // for the copy-on-write mapping) and re-writes it into out.jpg.
    bool transcode(const std::string& name) {
        source = folder / name;
        fs::copy_file(dataPath(name), source, fs::copy_options::overwrite_existing);
        copy.resetOptions();
        return copy.transcode(source.u16string().c_str(), output.u16string().c_str());
    }

    ::testing::AssertionResult decodesAs(const std::string& pnmName) {
        ImageRecord record{};
        JpegReader reader;
        if (!reader.read(output.u16string().c_str(), &record))
            return ::testing::AssertionFailure() << "the output does not decode";
        ::testing::AssertionResult result = recordMatches(record, readPnm(dataPath(pnmName)));
        releasePixelBuffer(record.pixels);
        return result;
    }

    ScratchFolder folder;
    fs::path source;
    fs::path output = folder / "out.jpg";
    JpegCopy copy;
};

// jpegtran (same library, no markers copied, optimised tables) is the
// independent reference: identical bytes mean identical coefficients.
TEST_F(JpegCopyTest, DropsMetadataAndKeepsTheCoefficients) {
    const std::vector<uint8_t> original = readBytes(dataPath("metadata.jpg"));
    const std::vector<Segment> before = headerSegments(original);
    ASSERT_NE(findSegment(before, 0xE1), nullptr) << "fixture has EXIF";
    ASSERT_NE(findSegment(before, 0xE2), nullptr) << "fixture has an ICC profile";
    ASSERT_NE(findSegment(before, 0xFE), nullptr) << "fixture has a comment";

    ASSERT_TRUE(transcode("metadata.jpg"));
    EXPECT_EQ(copy.status(), kStatusOk);
    const std::vector<uint8_t> bytes = readBytes(output);
    EXPECT_EQ(bytes, readBytes(dataPath("metadata_jpegtran.jpg")));

    const std::vector<Segment> after = headerSegments(bytes);
    for (const Segment& segment : after)
        EXPECT_TRUE(segment.marker < 0xE1 || segment.marker > 0xEF) << int(segment.marker);
    EXPECT_EQ(findSegment(after, 0xFE), nullptr);
    const Segment* jfif = findSegment(after, 0xE0);
    ASSERT_NE(jfif, nullptr);
    EXPECT_EQ(std::string(jfif->payload.begin(), jfif->payload.begin() + 5),
              std::string("JFIF\0", 5));
    EXPECT_EQ(jfif->payload[8] << 8 | jfif->payload[9], 300) << "the source's density stays";
    const Segment* frame = findSegment(after, 0xC0);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->payload[1] << 8 | frame->payload[2], 29);
    EXPECT_EQ(frame->payload[3] << 8 | frame->payload[4], 37);
    EXPECT_TRUE(decodesAs("metadata.pnm"));

    // The source is untouched.
    EXPECT_EQ(readBytes(source), original);
}

TEST_F(JpegCopyTest, ProgressiveAndGreySourcesMatchJpegtran) {
    ASSERT_TRUE(transcode("progressive.jpg"));
    EXPECT_EQ(readBytes(output), readBytes(dataPath("progressive_jpegtran.jpg")));
    EXPECT_NE(findSegment(headerSegments(readBytes(output)), 0xC0), nullptr) << "sequential";
    EXPECT_TRUE(decodesAs("progressive.pnm"));

    ASSERT_TRUE(transcode("gray.jpg"));
    EXPECT_EQ(readBytes(output), readBytes(dataPath("gray_jpegtran.jpg")));
    EXPECT_TRUE(decodesAs("gray.pnm"));
}

// Sources larger than the window the library reads at a time: the comments
// are dropped and the coefficients come through whatever falls on an edge.
TEST_F(JpegCopyTest, LargeSourcesReadInWindowsCopyTheSameCoefficients) {
    const std::vector<uint8_t> original = readBytes(dataPath("progressive.jpg"));
    const std::vector<uint8_t> expected = readBytes(dataPath("progressive_jpegtran.jpg"));
    for (size_t edgeAt : {size_t{2}, size_t{7}, original.size() / 2, original.size() - 1}) {
        SCOPED_TRACE(edgeAt);
        source = folder / "padded.jpg";
        writeBytes(source, withCommentPadding(original, 2 * kJpegSourceWindow - edgeAt));
        copy.resetOptions();
        ASSERT_TRUE(copy.transcode(source.u16string().c_str(), output.u16string().c_str()));
        EXPECT_EQ(readBytes(output), expected);
    }
}

TEST_F(JpegCopyTest, GreySourceGetsOneByOneSampling) {
    const std::vector<Segment> before = headerSegments(readBytes(dataPath("gray_sampled.jpg")));
    ASSERT_NE(findSegment(before, 0xC0), nullptr);
    ASSERT_EQ(findSegment(before, 0xC0)->payload[7], 0x22);

    ASSERT_TRUE(transcode("gray_sampled.jpg"));
    const std::vector<Segment> after = headerSegments(readBytes(output));
    const Segment* frame = findSegment(after, 0xC0);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->payload[7], 0x11);
    EXPECT_TRUE(decodesAs("gray_sampled.pnm"));
}

TEST_F(JpegCopyTest, CmykSourceKeepsItsPixels) {
    ASSERT_TRUE(transcode("cmyk.jpg"));
    const std::vector<Segment> after = headerSegments(readBytes(output));
    EXPECT_NE(findSegment(after, 0xEE), nullptr) << "the library's Adobe marker";
    EXPECT_TRUE(decodesAs("cmyk.pnm"));
}

TEST_F(JpegCopyTest, TruncatedSourceIsCompleted) {
    ASSERT_TRUE(transcode("truncated.jpg"));
    EXPECT_TRUE(decodesAs("truncated.pnm"));
}

TEST_F(JpegCopyTest, ProgressiveOptionAndReset) {
    source = folder / "in.jpg";
    fs::copy_file(dataPath("baseline_420.jpg"), source);
    copy.setProgressive(true);
    ASSERT_TRUE(copy.transcode(source.u16string().c_str(), output.u16string().c_str()));
    EXPECT_NE(findSegment(headerSegments(readBytes(output)), 0xC2), nullptr);
    EXPECT_TRUE(decodesAs("baseline_420.pnm"));

    copy.resetOptions();
    ASSERT_TRUE(copy.transcode(source.u16string().c_str(), output.u16string().c_str()));
    EXPECT_NE(findSegment(headerSegments(readBytes(output)), 0xC0), nullptr);
}

TEST_F(JpegCopyTest, Failures) {
    EXPECT_FALSE(
        copy.transcode((folder / "missing.jpg").u16string().c_str(), output.u16string().c_str()));
    EXPECT_EQ(copy.status(), kStatusInputError);
    EXPECT_FALSE(fs::exists(output));

    source = folder / "in.jpg";
    fs::copy_file(dataPath("baseline_420.jpg"), source);
    EXPECT_FALSE(copy.transcode(source.u16string().c_str(),
                                (folder / "none" / "out.jpg").u16string().c_str()));
    EXPECT_EQ(copy.status(), kStatusOutputError);

    EXPECT_FALSE(transcode("garbage.jpg"));
    EXPECT_EQ(copy.status(), kStatusMalformed) << "library errors leave a real status";
    EXPECT_NE(copy.messageText()[0], u'\0');

    // The next file starts afresh.
    EXPECT_TRUE(transcode("gray.jpg"));
    EXPECT_EQ(copy.messageText()[0], u'\0');
}

TEST_F(JpegCopyTest, ReadOnlySourceIsReWritten) {
    // Opened for reading only: the copy-on-write view needs no write access.
    source = folder / "readonly.jpg";
    fs::copy_file(dataPath("baseline_420.jpg"), source);
    fs::permissions(source, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_TRUE(copy.transcode(source.u16string().c_str(), output.u16string().c_str()));
    EXPECT_EQ(copy.status(), kStatusOk);
    fs::permissions(source, fs::perms::owner_all);
}

TEST_F(JpegCopyTest, RefusesAbsurdNumbersOfScans) {
    source = folder / "absurd.jpg";
    writeBytes(source, withRepeatedLastScan(kJpegMaxScans));
    EXPECT_FALSE(copy.transcode(source.u16string().c_str(), output.u16string().c_str()));
    EXPECT_EQ(std::u16string(copy.messageText()), u"Too many scans in the JPEG file");
}

#ifdef __linux__
// A disk that fills up in the middle of the re-written file.
TEST_F(JpegCopyTest, FailedWriteReportsFalse) {
    source = folder / "in.jpg";
    fs::copy_file(dataPath("baseline_420.jpg"), source);
    const size_t before = openDescriptors();
    {
        FileSizeLimit full(64);
        EXPECT_FALSE(copy.transcode(source.u16string().c_str(), output.u16string().c_str()));
    }
    EXPECT_NE(copy.messageText()[0], u'\0');
    EXPECT_EQ(openDescriptors(), before) << "source and output are closed";
}
#endif

}  // namespace
