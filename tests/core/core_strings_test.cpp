// Heap strings, path operations and format detection.
#include <gtest/gtest.h>

#include "core/format_detect.h"
#include "core/heap_string.h"
#include "platform/platform.h"
#include "tests/support/temp_folder.h"

namespace {

std::u16string text(const HeapString& s) {
    return std::u16string(s.c_str(), s.length());
}
const std::u16string kSep(1, platform::kPathSeparator);

TEST(HeapString, ReserveRoundsCapacityAndKeepsContent) {
    HeapString s;
    EXPECT_EQ(s.c_str(), std::u16string_view(u""));
    ASSERT_TRUE(s.assign(u"abc"));
    EXPECT_EQ(s.capacity(), 64u);  // (2*3 + 64) rounded down to 64
    ASSERT_TRUE(s.reserve(31));    // 64 >= 2*31 + 2: nothing happens
    EXPECT_EQ(s.capacity(), 64u);
    ASSERT_TRUE(s.reserve(32));  // needs 66 bytes: (64 + 64) & ~63 = 128
    EXPECT_EQ(s.capacity(), 128u);
    EXPECT_EQ(text(s), u"abc");
}

TEST(HeapString, RefusedAllocationLeavesTheStringEmpty) {
    HeapString s(u"original");
    platform::privateHeap().refuseAfter(0);
    std::u16string longText(200, u'x');
    bool ok = s.assign(longText.c_str(), static_cast<uint32_t>(longText.size()));
    platform::privateHeap().refuseAfter(-1);
    EXPECT_FALSE(ok);
    EXPECT_EQ(s.length(), 0u);
    EXPECT_EQ(s.capacity(), 0u);
    EXPECT_FALSE(s.hasBuffer());
    EXPECT_EQ(text(s), u"");
}

TEST(HeapString, AppendToItselfIsSafe) {
    HeapString s(u"ab");
    ASSERT_TRUE(s.append(s.c_str(), s.length()));
    ASSERT_TRUE(s.append(s.c_str(), s.length()));
    EXPECT_EQ(text(s), u"abababab");
}

TEST(HeapString, PathOperations) {
    HeapString s;
    std::u16string root = u"C:" + kSep;
    ASSERT_TRUE(s.joinPath(root.c_str(), 3, u"x", 1));
    EXPECT_EQ(text(s), root + u"x");  // no doubled separator

    HeapString untouched(u"keep");
    ASSERT_TRUE(untouched.joinPath(u"", 0, u"x", 1));
    EXPECT_EQ(text(untouched), u"keep");

    HeapString p;
    ASSERT_TRUE(p.appendPath(u"a"));
    EXPECT_EQ(text(p), u"a");  // empty string: no separator first
    ASSERT_TRUE(p.appendPath(u"b"));
    EXPECT_EQ(text(p), u"a" + kSep + u"b");
    ASSERT_TRUE(p.appendPath(u"", 0));
    EXPECT_EQ(text(p), u"a" + kSep + u"b");

    std::u16string dotted = u"dir.v2" + kSep + u"scan";
    HeapString q(dotted.c_str());
    ASSERT_TRUE(q.replaceExtension(u".png"));
    EXPECT_EQ(text(q), dotted + u".png");  // the only dot is in the folder name
    ASSERT_TRUE(q.replaceExtension(u".gif"));
    EXPECT_EQ(text(q), dotted + u".gif");
    ASSERT_TRUE(q.replaceExtension(u""));
    EXPECT_EQ(text(q), dotted + u".gif");

    HeapString folder, base;
    std::u16string photo = u"d" + kSep + u"e.f" + kSep + u"photo.tar.gz";
    ASSERT_TRUE(folderOf(photo.c_str(), folder));
    EXPECT_EQ(text(folder), u"d" + kSep + u"e.f");
    ASSERT_TRUE(baseNameOf(photo.c_str(), base));
    EXPECT_EQ(text(base), u"photo.tar");
    ASSERT_TRUE(folderOf(u"plain", folder));
    EXPECT_EQ(text(folder), u"plain");
}

TEST(HeapString, SameNameFoldsAsciiLettersOnly) {
    EXPECT_TRUE(sameName(u"Pirex", u"pIREX"));
    EXPECT_FALSE(sameName(u"Pirex", u"Pirex2"));
    EXPECT_FALSE(sameName(u"Pirex", u"Pire"));
    EXPECT_FALSE(sameName(u"[", u"{"));            // 0x5B and 0x7B differ by 32 but are not letters
    EXPECT_FALSE(sameName(u"\u00e9", u"\u00c9"));  // non-ASCII letters are not folded
    EXPECT_TRUE(sameName(nullptr, u""));
}

TEST(HeapString, Decimal) {
    HeapString s;
    appendDecimal(s, 0);
    appendDecimal(s, -42);
    appendDecimal(s, 9999);
    appendDecimal(s, INT64_MIN);
    EXPECT_EQ(text(s), u"0-429999-9223372036854775808");
}

TEST(FormatDetect, SignaturesDecideOnTheFirstBytes) {
    struct Case {
        std::vector<uint8_t> bytes;
        ImageFormat expected;
    } cases[] = {
        {{'B', 'M', 0, 0, 0, 0, 0}, kFormatUnknown},  // 7 bytes, even with "BM"
        {{'B', 'M', 0, 0, 0, 0, 0, 0}, kFormatBmp},
        {{0x89, 'P', 'N', 'G', 13, 10, 26, 10}, kFormatPng},
        {{0x89, 'P', 'N', 'G', 13, 10, 26, 0}, kFormatUnknown},
        {{0xFF, 0xD8, 0, 0, 0, 0, 0, 0}, kFormatJpeg},
        {{'I', 'I', 0x2A, 0, 8, 0, 0, 0}, kFormatTiff},
        {{'I', 'I', 0, 0x2A, 0, 0, 0, 8}, kFormatUnknown},
        {{'M', 'M', 0, 0x2A, 0, 0, 0, 8}, kFormatTiff},
        {{'M', 'M', 0x2A, 0, 0, 0, 0, 8}, kFormatUnknown},
        {{'G', 'I', 'F', '8', '9', 'a', 1, 0}, kFormatGif},
        {{'G', 'I', 'X', '8', '9', 'a', 1, 0}, kFormatUnknown},
        {{'x', 'y', 'z', 'w', 0, 0, 0, 0}, kFormatUnknown},
        {{}, kFormatUnknown},
    };
    TempFolder folder;
    int n = 0;
    for (const Case& c : cases) {
        auto file = folder.write("f" + std::to_string(n++), c.bytes);
        EXPECT_EQ(detectFormat(u16(file).c_str()), c.expected) << "case " << n;
    }
    EXPECT_EQ(detectFormat(u16(folder / "missing").c_str()), kFormatOpenFailed);
    EXPECT_EQ(detectFormat(u16(folder.path()).c_str()), kFormatOpenFailed);
}

}  // namespace
