// Every reader's in-memory entry gives exactly what its path entry gives for
// the same bytes, and leaves the caller's bytes as they were.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "codecs/bmp/bmp_reader.h"
#include "codecs/gif/gif_reader.h"
#include "codecs/jpeg/jpeg_copy.h"
#include "codecs/jpeg/jpeg_reader.h"
#include "codecs/jpeg/jpeg_source.h"
#include "codecs/png/png_reader.h"
#include "codecs/tiff/tiff_reader.h"
#include "platform/platform.h"
#include "tests/codecs/jpeg/jpeg_test_support.h"

namespace {

namespace fs = std::filesystem;

// What one read left behind: the result, the status and the reader's own
// extras (transparent colour), with the pixel buffer copied out.
struct Outcome {
    bool decoded = false;
    uint32_t status = 0;
    ImageRecord record{};
    std::vector<uint8_t> pixels;
    std::string extras;
};

// Reads through the path entry (memory null) or the memory entry.
using ReadFn = std::function<Outcome(const char16_t* path, const uint8_t* data, size_t size)>;

template <class Reader>
Outcome finish(Reader& reader, ImageRecord* result, ImageRecord& record, std::string extras) {
    Outcome outcome;
    outcome.decoded = result == &record;
    outcome.status = reader.status();
    outcome.record = record;
    outcome.extras = std::move(extras);
    if (record.pixels) {
        const uint64_t bytes =
            uint64_t{rowStride(record.header.biWidth, record.header.biBitCount)} *
            uint64_t(record.header.biHeight);
        outcome.pixels.assign(record.pixels, record.pixels + bytes);
    }
    outcome.record.pixels = nullptr;
    releasePixelBuffer(record.pixels);
    return outcome;
}

template <class Reader>
ImageRecord* readEither(Reader& reader, const char16_t* path, const uint8_t* data, size_t size,
                        ImageRecord& record) {
    return path ? reader.read(path, &record) : reader.readMemory(data, size, &record);
}

// Readers whose record is all they leave.
template <class Reader>
Outcome readPlain(const char16_t* path, const uint8_t* data, size_t size) {
    Reader reader;
    ImageRecord record{};
    ImageRecord* result = readEither(reader, path, data, size, record);
    return finish(reader, result, record, "");
}
const ReadFn readBmp = readPlain<BmpReader>;
const ReadFn readJpeg = readPlain<JpegReader>;
const ReadFn readTiff = readPlain<TiffReader>;

Outcome readGif(const char16_t* path, const uint8_t* data, size_t size) {
    GifReader reader;
    ImageRecord record{};
    ImageRecord* result = readEither(reader, path, data, size, record);
    const uint8_t* rgb = reader.transparentColor();
    const std::string extras = std::to_string(reader.declaresTransparency()) + " " +
                               std::to_string(reader.transparentIndex()) + " " +
                               std::to_string(rgb[0]) + "," + std::to_string(rgb[1]) + "," +
                               std::to_string(rgb[2]);
    return finish(reader, result, record, extras);
}

Outcome readPng(const char16_t* path, const uint8_t* data, size_t size) {
    PngReader reader;
    reader.setDefaultBackground(255, 255, 255);
    ImageRecord record{};
    ImageRecord* result = readEither(reader, path, data, size, record);
    uint8_t red = 0, green = 0, blue = 0;
    const bool transparent = reader.transparentColour(red, green, blue);
    const std::string extras = std::to_string(transparent) + " " + std::to_string(red) + "," +
                               std::to_string(green) + "," + std::to_string(blue);
    return finish(reader, result, record, extras);
}

// The caller's bytes in a page allocation, as a big source would be held: a
// reader that released "consumed" pages of it would wipe them.
class PageCopy {
  public:
    explicit PageCopy(const std::vector<uint8_t>& bytes)
        : data_(static_cast<uint8_t*>(platform::allocatePages(bytes.size() ? bytes.size() : 1))),
          size_(bytes.size()) {
        if (data_ && size_) std::memcpy(data_, bytes.data(), size_);
    }
    ~PageCopy() { platform::releasePages(data_); }
    PageCopy(const PageCopy&) = delete;
    PageCopy& operator=(const PageCopy&) = delete;

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    bool holds(const std::vector<uint8_t>& bytes) const {
        return size_ == bytes.size() &&
               (size_ == 0 || std::memcmp(data_, bytes.data(), size_) == 0);
    }

  private:
    uint8_t* data_;
    size_t size_;
};

void expectSameOutcome(const Outcome& fromPath, const Outcome& fromMemory, uint32_t fileSize) {
    EXPECT_EQ(fromMemory.decoded, fromPath.decoded);
    EXPECT_EQ(fromMemory.status, fromPath.status);
    EXPECT_EQ(fromMemory.extras, fromPath.extras);
    EXPECT_EQ(
        std::memcmp(&fromMemory.record.header, &fromPath.record.header, sizeof(BitmapInfoHeader)),
        0);
    EXPECT_EQ(std::memcmp(fromMemory.record.palette, fromPath.record.palette,
                          sizeof fromPath.record.palette),
              0);
    EXPECT_EQ(fromMemory.record.sourceFormat, fromPath.record.sourceFormat);
    EXPECT_EQ(fromMemory.record.sourceBitsPerPixel, fromPath.record.sourceBitsPerPixel);
    EXPECT_TRUE(fromMemory.pixels == fromPath.pixels);
    if (fromPath.decoded) {
        // Only the modification time tells the two apart: bytes have none.
        EXPECT_EQ(fromPath.record.sourceFileSize, fileSize);
        EXPECT_EQ(fromMemory.record.sourceFileSize, fileSize);
        EXPECT_NE(fromPath.record.sourceModified, 0u);
        EXPECT_EQ(fromMemory.record.sourceModified, 0u);
    }
}

struct ReaderCase {
    const char* folder;
    std::vector<std::string> extensions;
    ReadFn read;
    size_t minimumDecoded;  // the fixtures hold at least this many good files
};

TEST(ReaderMemoryEntry, GivesThePathEntrysRecordForEveryFixture) {
    const std::vector<ReaderCase> cases = {
        {"bmp", {".bmp"}, readBmp, 8},
        {"gif", {".gif"}, readGif, 5},
        {"jpeg", {".jpg"}, readJpeg, 10},
        {"png", {".png"}, readPng, 50},
        {"tiff", {".tif", ".tiff"}, readTiff, 20},
    };
    for (const ReaderCase& c : cases) {
        size_t decoded = 0;
        for (const auto& entry : fs::directory_iterator(testDataFolder(c.folder))) {
            const fs::path& file = entry.path();
            bool wanted = false;
            for (const std::string& extension : c.extensions)
                wanted = wanted || file.extension() == extension;
            if (!wanted) continue;
            SCOPED_TRACE(file.string());
            const std::vector<uint8_t> bytes = readBytes(file);
            const PageCopy held(bytes);
            ASSERT_TRUE(held.data());
            const Outcome fromPath = c.read(file.u16string().c_str(), nullptr, 0);
            const Outcome fromMemory = c.read(nullptr, held.data(), held.size());
            expectSameOutcome(fromPath, fromMemory, static_cast<uint32_t>(bytes.size()));
            EXPECT_TRUE(held.holds(bytes));
            decoded += fromPath.decoded;
        }
        EXPECT_GE(decoded, c.minimumDecoded) << c.folder;
    }
}

// Nothing to read gives the status of an empty file, from every reader.
TEST(ReaderMemoryEntry, NoBytesFailLikeAnEmptyFile) {
    jpegtest::ScratchFolder folder;
    const fs::path empty = folder / "empty";
    writeBytes(empty, {});
    const uint8_t one = 0;
    for (const ReadFn& read : std::vector<ReadFn>{readBmp, readGif, readJpeg, readPng, readTiff}) {
        const Outcome fromPath = read(empty.u16string().c_str(), nullptr, 0);
        EXPECT_FALSE(fromPath.decoded);
        for (const uint8_t* data : {static_cast<const uint8_t*>(nullptr), &one}) {
            const Outcome fromMemory = read(nullptr, data, 0);
            EXPECT_FALSE(fromMemory.decoded);
            EXPECT_EQ(fromMemory.status, fromPath.status);
            EXPECT_TRUE(fromMemory.pixels.empty());
        }
    }
}

// A JPEG source longer than several of the library's windows: the path entry
// releases the consumed pages of its file view, the memory entry must keep
// the caller's bytes, and both re-writes are the same file.
TEST(ReaderMemoryEntry, LargeJpegKeepsTheCallersBytesAndCopiesAlike) {
    jpegtest::ScratchFolder folder;
    const std::vector<uint8_t> padded = jpegtest::withCommentPadding(
        readBytes(testDataFolder("jpeg") / "progressive.jpg"), 3 * kJpegSourceWindow + 123);
    const fs::path source = folder / "padded.jpg";
    writeBytes(source, padded);
    const PageCopy held(padded);
    ASSERT_TRUE(held.data());

    const Outcome fromPath = readJpeg(source.u16string().c_str(), nullptr, 0);
    const Outcome fromMemory = readJpeg(nullptr, held.data(), held.size());
    ASSERT_TRUE(fromPath.decoded);
    expectSameOutcome(fromPath, fromMemory, static_cast<uint32_t>(padded.size()));
    EXPECT_TRUE(held.holds(padded));

    JpegCopy copy;
    copy.resetOptions();
    const fs::path fromPathCopy = folder / "path.jpg", fromMemoryCopy = folder / "memory.jpg";
    ASSERT_TRUE(copy.transcode(source.u16string().c_str(), fromPathCopy.u16string().c_str()));
    ASSERT_TRUE(copy.transcode(held.data(), held.size(), fromMemoryCopy.u16string().c_str()));
    EXPECT_EQ(copy.status(), kStatusOk);
    EXPECT_TRUE(held.holds(padded));
    const std::vector<uint8_t> written = readBytes(fromMemoryCopy);
    EXPECT_FALSE(written.empty());
    EXPECT_TRUE(written == readBytes(fromPathCopy));

    // A re-write of no bytes fails like one of an empty file.
    EXPECT_FALSE(copy.transcode(held.data(), 0, fromMemoryCopy.u16string().c_str()));
    EXPECT_EQ(copy.status(), kStatusInputError);
}

}  // namespace
