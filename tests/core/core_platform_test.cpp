// The platform layer, the CRC table, pixel buffers and the mapped input.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "codecs/mapped_input.h"
#include "core/crc32.h"
#include "core/image_record.h"
#include "platform/platform.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(Crc32, MatchesTheReferenceValues) {
    const Crc32Table& table = crc32Table();
    EXPECT_EQ(table.entry(0), 0u);
    EXPECT_EQ(table.entry(1), 0x77073096u);
    EXPECT_EQ(table.entry(255), 0x2D02EF8Du);
    const char* check = "123456789";
    EXPECT_EQ(table.of(reinterpret_cast<const uint8_t*>(check), 9), 0xCBF43926u);
    const uint8_t iend[] = {'I', 'E', 'N', 'D'};
    EXPECT_EQ(table.of(iend, 4), 0xAE426082u);
}

TEST(PixelBuffer, StridesAndSizeLimits) {
    EXPECT_EQ(rowStride(1, 8), 4u);
    EXPECT_EQ(rowStride(1, 24), 4u);
    EXPECT_EQ(rowStride(5, 24), 16u);
    EXPECT_EQ(rowStride(0, 24), 0u);
    uint8_t* pixels = allocatePixelBuffer(3, 2, 24);
    ASSERT_NE(pixels, nullptr);
    for (int i = 0; i < 12 * 2 + 4; ++i) EXPECT_EQ(pixels[i], 0);
    std::memset(pixels, 0xAB, 12 * 2 + 4);  // the four spare bytes are ours too
    releasePixelBuffer(pixels);
    EXPECT_EQ(allocatePixelBuffer(0, 5, 8), nullptr);
    EXPECT_EQ(allocatePixelBuffer(5, -1, 8), nullptr);
    EXPECT_EQ(allocatePixelBuffer(65536, 65536, 8), nullptr);  // 2^32 bytes
    EXPECT_EQ(allocatePixelBuffer(1, 1, 16), nullptr);
}

TEST(PrivateHeap, BlocksAreZeroFilledAndCounted) {
    platform::PrivateHeap heap;
    auto* block = static_cast<uint8_t*>(heap.allocate(100));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(block[i], 0);
    void* other = heap.allocate(10);
    EXPECT_EQ(heap.liveBlocks(), 2u);
    heap.release(block);
    EXPECT_EQ(heap.liveBlocks(), 1u);
    heap.refuseAfter(0);
    EXPECT_EQ(heap.allocate(1), nullptr);
    (void)other;  // released with the heap
}

// Pages given back and asked for again, by sizes around each other and
// from two threads at once, always come out zero-filled over the whole
// request, however the previous owner left them.
TEST(Pages, ReusedPagesAreZeroFilledAgain) {
    auto dirtyRounds = [](size_t base, int rounds) {
        size_t bad = 0;
        for (int round = 0; round < rounds; ++round) {
            const size_t sizes[] = {base, base + 4097, base / 2 + 1, 2 * base, base - 1};
            for (size_t size : sizes) {
                auto* pages = static_cast<uint8_t*>(platform::allocatePages(size));
                if (!pages) return size_t{1};
                for (size_t i = 0; i < size; i += 509) bad += pages[i] != 0;
                bad += pages[size - 1] != 0;
                std::memset(pages, 0xA5, size);
                platform::releasePages(pages);
            }
        }
        return bad;
    };
    EXPECT_EQ(dirtyRounds(size_t{1} << 20, 3), 0u);
    size_t otherBad = 0;
    std::thread other([&] { otherBad = dirtyRounds(size_t{3} << 20, 20); });
    const size_t bad = dirtyRounds(size_t{3} << 20, 20);
    other.join();
    EXPECT_EQ(bad + otherBad, 0u);
    platform::releaseCachedPages();
    // Given back to the system, and fresh pages still come.
    auto* after = static_cast<uint8_t*>(platform::allocatePages(size_t{1} << 20));
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after[(size_t{1} << 20) - 1], 0);
    platform::releasePages(after);
}

TEST(Files, CopyNeverOverwritesUnlessAsked) {
    TempFolder folder;
    auto a = folder.write("a", {1, 2, 3});
    auto b = folder.write("b", {9});
    EXPECT_FALSE(platform::copyFile(u16(a).c_str(), u16(b).c_str(), false));
    EXPECT_EQ(readBytes(b), std::vector<uint8_t>({9}));
    EXPECT_TRUE(platform::copyFile(u16(a).c_str(), u16(b).c_str(), true));
    EXPECT_EQ(readBytes(b), std::vector<uint8_t>({1, 2, 3}));
    auto c = folder / "c";
    EXPECT_TRUE(platform::copyFile(u16(a).c_str(), u16(c).c_str(), false));
    EXPECT_EQ(readBytes(c), std::vector<uint8_t>({1, 2, 3}));
}

TEST(Files, UniqueTemporaryFilesStartWithTmp) {
    TempFolder folder;
    char16_t first[261], second[261];
    std::u16string dir = u16(folder.path());
    ASSERT_TRUE(platform::createUniqueTempFile(dir.c_str(), u"tmp", first, 261));
    ASSERT_TRUE(platform::createUniqueTempFile(dir.c_str(), u"tmp", second, 261));
    EXPECT_NE(std::u16string(first), std::u16string(second));
    std::filesystem::path path(first);
    EXPECT_EQ(path.filename().u16string().substr(0, 3), u"tmp");
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST(MappedInput, EmptyMissingAndNormalFiles) {
    TempFolder folder;
    MappedInput input;
    auto empty = folder.write("empty", {});
    EXPECT_EQ(input.openReadOnly(u16(empty).c_str()), 0u);
    EXPECT_EQ(input.status, kStatusInputError);
    EXPECT_EQ(input.openReadOnly(u16(folder / "missing").c_str()), 0u);
    EXPECT_EQ(input.status, kStatusInputError);

    auto file = folder.write("data", {0x12, 0x34, 0x56, 0x78, 0x9A});
    ASSERT_EQ(input.openReadOnly(u16(file).c_str()), 5u);
    EXPECT_EQ(input.end - input.base, 5);
    EXPECT_EQ(input.base[4], 0x9A);
    input.close();
    EXPECT_EQ(input.base, nullptr);
}

TEST(MappedInput, CopyOnWriteNeverChangesTheFile) {
    TempFolder folder;
    auto file = folder.write("data", {1, 2, 3, 4});
    MappedInput input;
    ASSERT_EQ(input.openCopyOnWrite(u16(file).c_str()), 4u);
    ASSERT_NE(input.writableView, nullptr);
    input.writableView[0] = 0xEE;
    EXPECT_EQ(input.base[0], 0xEE);
    input.close();
    EXPECT_EQ(readBytes(file), std::vector<uint8_t>({1, 2, 3, 4}));
}

TEST(MappedInput, CursorReadersInBothByteOrders) {
    const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    const uint8_t* c = bytes;
    EXPECT_EQ(readU16LE(c), 0x0201);
    EXPECT_EQ(readU16BE(c), 0x0304);
    EXPECT_EQ(c, bytes + 4);
    c = bytes;
    EXPECT_EQ(readU32LE(c), 0x04030201u);
    c = bytes + 2;
    EXPECT_EQ(readU32BE(c), 0x03040506u);
}

TEST(MappedInput, BeginReadResetsTheRecord) {
    TempFolder folder;
    auto file = folder.write("data", {1, 2, 3});
    ImageRecord record{};
    record.palette[7].red = 9;
    MappedInput input;
    ASSERT_TRUE(beginRead(input, ReadSource::file(u16(file).c_str()), record));
    EXPECT_EQ(record.palette[7].red, 0);
    EXPECT_EQ(record.pixels, nullptr);
    EXPECT_EQ(record.sourceFileSize, 3u);
    EXPECT_NE(record.sourceModified, 0u);
}

}  // namespace
