// The JPEG codec stores a real status when the library fails, counts its
// warnings instead of printing them, reports a size-limited file that stays
// above its limit, and re-writes a source it may only read.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "codecs/jpeg/jpeg_copy.h"
#include "codecs/jpeg/jpeg_reader.h"
#include "codecs/jpeg/jpeg_writer.h"
#include "tests/support/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

// A noisy 24-bit picture (noise compresses badly, so size limits bite).
struct NoisyPicture {
    NoisyPicture(int32_t w, int32_t h) : stride((w * 3 + 3) & ~3), pixels(stride * h + 4) {
        uint32_t state = 12345;
        for (uint8_t& byte : pixels) {
            state = state * 1103515245 + 12345;
            byte = static_cast<uint8_t>(state >> 16);
        }
        picture.width = w;
        picture.height = h;
        picture.pixels = pixels.data();
    }
    size_t stride;
    std::vector<uint8_t> pixels;
    PictureToWrite picture;
};

fs::path writeJpeg(const TempFolder& folder, const std::string& name, int32_t w, int32_t h) {
    NoisyPicture noisy(w, h);
    JpegWriter writer;
    const fs::path path = folder / name;
    EXPECT_TRUE(writer.write(u16(path).c_str(), noisy.picture)) << writer.status();
    return path;
}

std::vector<uint8_t> firstBytes(const fs::path& path, size_t count) {
    std::vector<uint8_t> bytes = readBytes(path);
    bytes.resize(count);
    return bytes;
}

TEST(JpegStatus, LibraryFailuresLeaveARealStatus) {
    TempFolder folder;
    const fs::path garbage = folder.write(
        "garbage.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0x17, 0x42, 0x99, 0x00, 0x01});
    JpegReader reader;
    EXPECT_EQ(reader.read(u16(garbage).c_str(), nullptr), nullptr);
    EXPECT_EQ(reader.status(), kStatusMalformed);
    EXPECT_NE(reader.messageText()[0], u'\0');  // the library's own text is kept too

    JpegCopy copy;
    EXPECT_FALSE(copy.transcode(u16(garbage).c_str(), u16(folder / "out.jpg").c_str()));
    EXPECT_EQ(copy.status(), kStatusMalformed);

    // Wider than the library encodes: unsupported, not "ok".
    NoisyPicture wide(70000, 1);
    JpegWriter writer;
    EXPECT_FALSE(writer.write(u16(folder / "wide.jpg").c_str(), wide.picture));
    EXPECT_EQ(writer.status(), kStatusUnsupported);
}

TEST(JpegStatus, ACutShortFileIsDecodedAndReportedDamaged) {
    TempFolder folder;
    const fs::path whole = writeJpeg(folder, "whole.jpg", 200, 160);
    const fs::path cut = folder.write("cut.jpg", firstBytes(whole, fs::file_size(whole) / 2));

    JpegReader reader;
    ImageRecord record{};
    ASSERT_NE(reader.read(u16(whole).c_str(), &record), nullptr);
    EXPECT_FALSE(reader.damaged());
    releasePixelBuffer(record.pixels);
    ASSERT_NE(reader.read(u16(cut).c_str(), &record), nullptr) << reader.status();
    EXPECT_TRUE(reader.damaged());
    EXPECT_EQ(reader.status(), kStatusOk);
    EXPECT_EQ(record.header.biWidth, 200);
    releasePixelBuffer(record.pixels);

    JpegCopy copy;
    ASSERT_TRUE(copy.transcode(u16(cut).c_str(), u16(folder / "cut-copy.jpg").c_str()));
    EXPECT_TRUE(copy.damaged());
    ASSERT_TRUE(copy.transcode(u16(whole).c_str(), u16(folder / "copy.jpg").c_str()));
    EXPECT_FALSE(copy.damaged());
}

TEST(JpegStatus, ASizeLimitNotMetAtQualityOneIsReported) {
    TempFolder folder;
    NoisyPicture noisy(300, 200);
    JpegWriter writer;
    const fs::path tight = folder / "tight.jpg";
    ASSERT_TRUE(writer.writeLimited(u16(tight).c_str(), noisy.picture, 1));
    EXPECT_TRUE(writer.aboveLimit());
    EXPECT_EQ(writer.quality(), 1);
    EXPECT_EQ(writer.writtenBytes(), fs::file_size(tight));
    EXPECT_GT(writer.writtenBytes(), 1024u);

    writer.setQuality(75);
    ASSERT_TRUE(writer.writeLimited(u16(folder / "roomy.jpg").c_str(), noisy.picture, 32767));
    EXPECT_FALSE(writer.aboveLimit());
    ASSERT_TRUE(writer.write(u16(folder / "plain.jpg").c_str(), noisy.picture));
    EXPECT_FALSE(writer.aboveLimit());
}

TEST(JpegStatus, AReadOnlySourceIsReWrittenAndLeftAsItWas) {
    TempFolder folder;
    const fs::path source = writeJpeg(folder, "protected.jpg", 64, 48);
    const std::vector<uint8_t> before = readBytes(source);
    // Read-only for everybody (on Windows: the read-only attribute).
    fs::permissions(source, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    JpegCopy copy;
    EXPECT_TRUE(copy.transcode(u16(source).c_str(), u16(folder / "a.jpg").c_str()))
        << copy.status();
#ifdef _WIN32
    // Held open by a viewer that lets others only read.
    fs::permissions(source, fs::perms::owner_all);
    HANDLE viewer = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(copy.transcode(u16(source).c_str(), u16(folder / "b.jpg").c_str()))
        << copy.status();
    CloseHandle(viewer);
#endif
    EXPECT_EQ(readBytes(source), before);
    EXPECT_EQ(readBytes(folder / "a.jpg").size() > 100, true);
    fs::permissions(source, fs::perms::owner_all);
}

}  // namespace
