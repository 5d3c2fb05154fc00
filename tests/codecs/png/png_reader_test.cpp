// PNG reader: pixel-exact decoding of independently encoded fixtures, the
// transparency and background rules, and the status of every refusal.
#include "codecs/png/png_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/codecs/png/png_test_support.h"

using namespace pngtest;

namespace {

#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// Fuzzing builds (native only) skip chunk CRCs unless asked; these tests check them.
const int kCheckCrcs = setenv("MORAVEL_FUZZ_CHECK_CRC", "1", 1);
#endif

struct Decoded {
    RecordHolder holder;
    ImageRecord* result = nullptr;
    uint32_t status = 0;
    bool transparent = false;
    uint8_t rgb[3] = {};
};

void decodeFile(const char16_t* path, Decoded& out, PngReader& reader) {
    reader.setDefaultBackground(255, 255, 255);
    out.result = reader.read(path, &out.holder.record);
    out.status = reader.status();
    out.transparent = reader.transparentColour(out.rgb[0], out.rgb[1], out.rgb[2]);
}

void decodeBytes(const Bytes& file, Decoded& out) {
    TempFile temp("input.png");
    temp.write(file);
    PngReader reader;
    decodeFile(temp.wide(), out, reader);
}

uint32_t statusOf(const Bytes& file) {
    Decoded d;
    decodeBytes(file, d);
    EXPECT_EQ(d.result == nullptr, d.status != kStatusOk);
    if (!d.result) {
        EXPECT_EQ(d.holder.record.pixels, nullptr);
    }
    return d.status;
}

void expectRecordsEqual(const ImageRecord& a, const ImageRecord& b) {
    ASSERT_EQ(std::memcmp(&a.header, &b.header, sizeof a.header), 0);
    ASSERT_EQ(std::memcmp(a.palette, b.palette, sizeof a.palette), 0);
    const size_t bytes = static_cast<size_t>(rowStride(a.header.biWidth, a.header.biBitCount)) *
                         static_cast<size_t>(a.header.biHeight);
    ASSERT_EQ(std::memcmp(a.pixels, b.pixels, bytes), 0);
}

std::vector<std::string> fixtureNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dataDir()))
        if (entry.path().extension() == ".rec") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Raw rows of an 8-bit RGB picture with filter None.
Bytes rgbRows(uint32_t width, uint32_t height) {
    Bytes raw;
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        for (uint32_t x = 0; x < 3 * width; ++x)
            raw.push_back(static_cast<uint8_t>(x * 7 + y * 31));
    }
    return raw;
}

Bytes validRgb(uint32_t width = 3, uint32_t height = 2) {
    PngBuilder b;
    b.header(width, height, 8, 2).chunk("IDAT", compress(rgbRows(width, height))).end();
    return b.bytes();
}

// Flips one bit of the CRC of the first chunk of a type.
Bytes corruptCrc(Bytes file, const char* type, size_t skip = 0) {
    size_t at = findChunk(file, type);
    for (size_t k = 0; k < skip; ++k) {
        uint32_t len = loadU32BE(&file[at]);
        at = findChunk(file, type, at + 12 + len);
    }
    uint32_t len = loadU32BE(&file[at]);
    file[at + 8 + len] ^= 0x01;
    return file;
}

}  // namespace

// ---- Pixel-exact decoding against the independent encoder's source samples.

class PngFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(PngFixture, DecodesExactly) {
    ExpectedRecord expected;
    ASSERT_TRUE(expected.load(dataDir() / (GetParam() + ".rec")));
    const std::u16string path = (dataDir() / (GetParam() + ".png")).u16string();

    Decoded d;
    PngReader reader;
    decodeFile(path.c_str(), d, reader);
    ASSERT_EQ(d.status, kStatusOk);
    ASSERT_EQ(d.result, &d.holder.record);
    const ImageRecord& r = d.holder.record;
    EXPECT_EQ(r.header.biSize, 40u);
    EXPECT_EQ(r.header.biWidth, static_cast<int32_t>(expected.width));
    EXPECT_EQ(r.header.biHeight, static_cast<int32_t>(expected.height));
    EXPECT_EQ(r.header.biPlanes, 1);
    EXPECT_EQ(r.header.biBitCount, expected.bitCount);
    EXPECT_EQ(r.header.biCompression, 0u);
    EXPECT_EQ(r.header.biSizeImage, 0u);
    EXPECT_EQ(r.header.biClrUsed, 0u);
    EXPECT_EQ(r.header.biXPelsPerMeter, expected.resolutionX);
    EXPECT_EQ(r.header.biYPelsPerMeter, expected.resolutionY);
    EXPECT_EQ(r.sourceFormat, static_cast<uint32_t>(kFormatPng));
    EXPECT_EQ(r.sourceBitsPerPixel, expected.sourceBitsPerPixel);
    EXPECT_EQ(r.sourceFileSize, readBytes(dataDir() / (GetParam() + ".png")).size());
    EXPECT_NE(r.sourceModified, 0u);
    EXPECT_EQ(std::memcmp(r.palette, expected.palette.data(), 1024), 0) << "palette";
    ASSERT_NE(r.pixels, nullptr);
    for (size_t i = 0; i < expected.pixels.size(); ++i)
        ASSERT_EQ(r.pixels[i], expected.pixels[i]) << "pixel byte " << i;
    EXPECT_EQ(d.transparent, expected.transparent);
    if (expected.transparent) {
        EXPECT_EQ(d.rgb[0], expected.red);
        EXPECT_EQ(d.rgb[1], expected.green);
        EXPECT_EQ(d.rgb[2], expected.blue);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, PngFixture, ::testing::ValuesIn(fixtureNames()),
                         [](const auto& info) { return info.param; });

TEST(PngReader, EveryFixtureIsThere) {
    EXPECT_GE(fixtureNames().size(), 60u);
}

TEST(PngReader, InterlacedAndSequentialGiveIdenticalRecords) {
    int pairs = 0;
    for (const std::string& name : fixtureNames()) {
        if (name.size() < 4 || name.substr(name.size() - 4) != "_seq") continue;
        const std::string base = name.substr(0, name.size() - 4);
        const std::u16string seq = (dataDir() / (name + ".png")).u16string();
        const std::u16string adam = (dataDir() / (base + "_adam7.png")).u16string();
        Decoded a, b;
        PngReader reader;
        decodeFile(seq.c_str(), a, reader);
        decodeFile(adam.c_str(), b, reader);
        ASSERT_EQ(a.status, kStatusOk) << name;
        ASSERT_EQ(b.status, kStatusOk) << base;
        expectRecordsEqual(a.holder.record, b.holder.record);
        ++pairs;
    }
    EXPECT_GE(pairs, 19);
}

TEST(PngReader, ManyIdatChunksDecodeLikeOne) {
    Decoded a, b;
    PngReader reader;
    decodeFile((dataDir() / "many_idat.png").u16string().c_str(), a, reader);
    decodeFile((dataDir() / "one_idat.png").u16string().c_str(), b, reader);
    ASSERT_TRUE(a.result && b.result);
    expectRecordsEqual(a.holder.record, b.holder.record);
}

TEST(PngReader, OneBitGrayWidthNine) {
    Decoded d;
    PngReader reader;
    decodeFile((dataDir() / "gray1_width9.png").u16string().c_str(), d, reader);
    ASSERT_TRUE(d.result);
    const ImageRecord& r = d.holder.record;
    EXPECT_EQ(r.header.biBitCount, 8);
    EXPECT_EQ(rowStride(r.header.biWidth, 8), 12u);
    EXPECT_EQ(r.palette[0].red, 0);
    EXPECT_EQ(r.palette[1].red, 255);
    EXPECT_EQ(r.palette[1].green, 255);
    EXPECT_EQ(r.palette[2].red, 0);
    for (int i = 0; i < 12 * 5; ++i)
        if (i % 12 < 9) {
            EXPECT_LE(r.pixels[i], 1);
        }
}

TEST(PngReader, PaletteTransparencyRules) {
    PngReader reader;
    Decoded shortTrns, longTrns, noZero;
    decodeFile((dataDir() / "palette_trns_short.png").u16string().c_str(), shortTrns, reader);
    decodeFile((dataDir() / "palette_trns_long.png").u16string().c_str(), longTrns, reader);
    decodeFile((dataDir() / "palette_trns_none_zero.png").u16string().c_str(), noZero, reader);
    // Entry 0 is fully transparent: white; entry 2 beyond the short tRNS stays opaque.
    const RgbQuad* p = shortTrns.holder.record.palette;
    EXPECT_EQ(p[0].red, 255);
    EXPECT_EQ(p[0].green, 255);
    EXPECT_EQ(p[0].blue, 255);
    EXPECT_EQ(p[2].blue, 255);
    EXPECT_EQ(p[2].red, 0);
    EXPECT_TRUE(shortTrns.transparent);
    EXPECT_EQ(shortTrns.rgb[0], 255);
    // A tRNS longer than the palette is ignored.
    EXPECT_EQ(longTrns.holder.record.palette[0].red, 255);
    EXPECT_EQ(longTrns.holder.record.palette[0].green, 0);
    EXPECT_FALSE(longTrns.transparent);
    // No fully transparent entry: nothing to hand over.
    EXPECT_FALSE(noZero.transparent);
}

TEST(PngReader, TruecolourTransparentColourIsTheDeclaredOne) {
    Decoded d;
    PngReader reader;
    decodeFile((dataDir() / "rgb_trns_bkgd.png").u16string().c_str(), d, reader);
    ASSERT_TRUE(d.result);
    ExpectedRecord e;
    ASSERT_TRUE(e.load(dataDir() / "rgb_trns_bkgd.rec"));
    EXPECT_TRUE(d.transparent);
    // The declared colour, not the background that replaced it.
    EXPECT_NE(d.rgb[0], 9);
    EXPECT_EQ(d.rgb[0], e.red);
}

TEST(PngReader, DefaultBackgroundIsUsedWithoutBkgd) {
    // 2 x 1 RGBA: a fully transparent pixel and an opaque one.
    Bytes raw = {0, 10, 20, 30, 0, 40, 50, 60, 255};
    PngBuilder b;
    b.header(2, 1, 8, 6).chunk("IDAT", compress(raw)).end();
    TempFile temp("a.png");
    temp.write(b.bytes());
    PngReader reader;
    RecordHolder h;
    reader.setDefaultBackground(1, 2, 3);
    ASSERT_TRUE(reader.read(temp.wide(), &h.record));
    const uint8_t want[6] = {3, 2, 1, 60, 50, 40};
    EXPECT_EQ(std::memcmp(h.record.pixels, want, 6), 0);
    uint8_t r, g, bl;
    EXPECT_FALSE(reader.transparentColour(r, g, bl));
}

TEST(PngReader, StateDoesNotLeakBetweenFiles) {
    PngReader reader;
    Decoded first, second, third;
    decodeFile((dataDir() / "rgb_trns.png").u16string().c_str(), first, reader);
    EXPECT_TRUE(first.transparent);
    decodeFile((dataDir() / "one_idat.png").u16string().c_str(), second, reader);
    EXPECT_TRUE(second.result);
    EXPECT_FALSE(second.transparent);
    EXPECT_EQ(second.holder.record.header.biXPelsPerMeter, 0);
    // A failed read answers no transparent colour either.
    TempFile temp("bad.png");
    temp.write(corruptCrc(readBytes(dataDir() / "rgb_trns.png"), "IEND"));
    decodeFile(temp.wide(), third, reader);
    EXPECT_EQ(third.result, nullptr);
    EXPECT_FALSE(third.transparent);
}

TEST(PngReader, AllocatesARecordWhenNoneIsGiven) {
    auto& heap = platform::privateHeap();
    PngReader reader;
    const size_t before = heap.liveBlocks();
    ImageRecord* r = reader.read((dataDir() / "one_idat.png").u16string().c_str(), nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->header.biWidth, 23);
    releasePixelBuffer(r->pixels);
    heap.release(r);
    EXPECT_EQ(heap.liveBlocks(), before);

    TempFile temp("bad.png");
    temp.write(corruptCrc(validRgb(), "IEND"));
    EXPECT_EQ(reader.read(temp.wide(), nullptr), nullptr);
    EXPECT_EQ(heap.liveBlocks(), before);
}

TEST(PngReader, ClearsTheGivenRecord) {
    RecordHolder h;
    std::memset(h.record.palette, 0x5A, sizeof h.record.palette);
    PngReader reader;
    ASSERT_TRUE(reader.read((dataDir() / "one_idat.png").u16string().c_str(), &h.record));
    for (const RgbQuad& q : h.record.palette) EXPECT_EQ(q.red | q.green | q.blue | q.reserved, 0);
}

TEST(PngReader, AncillaryChunkRules) {
    auto build = [](const std::vector<std::pair<const char*, Bytes>>& extra, bool corruptFirst) {
        PngBuilder b;
        b.header(1, 1, 8, 2);
        for (const auto& [type, data] : extra) b.chunk(type, data);
        Bytes file = b.bytes();
        if (corruptFirst) file.back() ^= 1;
        PngBuilder rest;
        rest.bytes().clear();
        rest.chunk("IDAT", compress({0, 10, 20, 30})).end();
        file.insert(file.end(), rest.bytes().begin(), rest.bytes().end());
        return file;
    };
    Bytes phys = {0, 0, 0x0B, 0x13, 0, 0, 0x0E, 0xC4, 1};
    Decoded ok, badCrc, unitZero, huge, twice;
    decodeBytes(build({{"pHYs", phys}}, false), ok);
    EXPECT_EQ(ok.holder.record.header.biXPelsPerMeter, 2835);
    EXPECT_EQ(ok.holder.record.header.biYPelsPerMeter, 3780);
    decodeBytes(build({{"pHYs", phys}}, true), badCrc);
    EXPECT_TRUE(badCrc.result);
    EXPECT_EQ(badCrc.holder.record.header.biXPelsPerMeter, 0);
    Bytes unit0 = phys;
    unit0[8] = 0;
    decodeBytes(build({{"pHYs", unit0}}, false), unitZero);
    EXPECT_EQ(unitZero.holder.record.header.biXPelsPerMeter, 0);
    Bytes big = phys;
    big[0] = 0x80;
    decodeBytes(build({{"pHYs", big}}, false), huge);
    EXPECT_EQ(huge.holder.record.header.biXPelsPerMeter, 0);
    EXPECT_EQ(huge.holder.record.header.biYPelsPerMeter, 0);

    // A tRNS with a bad CRC is ignored; the next valid one is taken.
    Bytes key = {0, 10, 0, 20, 0, 30};
    decodeBytes(build({{"tRNS", {0, 1, 0, 2, 0, 3}}}, true), badCrc);
    EXPECT_FALSE(badCrc.transparent);
    decodeBytes(build({{"tRNS", key}, {"tRNS", {0, 1, 0, 2, 0, 3}}}, false), twice);
    ASSERT_TRUE(twice.transparent);
    EXPECT_EQ(twice.rgb[0], 10);
    // The pixel equals the tRNS colour: it takes the white background.
    EXPECT_EQ(twice.holder.record.pixels[0], 255);
}

TEST(PngReader, GrayBackgroundBeyondTheBitDepthIsIgnored) {
    PngBuilder b;
    b.header(2, 1, 1, 0).chunk("tRNS", {0, 0}).chunk("bKGD", {0, 5});
    b.chunk("IDAT", compress({0, 0x40})).end();
    Decoded d;
    decodeBytes(b.bytes(), d);
    ASSERT_TRUE(d.result);
    // Entry 0 (the transparent gray) shows the default white, not a wrapped 5 * 255.
    EXPECT_EQ(d.holder.record.palette[0].red, 255);
    EXPECT_EQ(d.holder.record.pixels[0], 0);
    EXPECT_EQ(d.holder.record.pixels[1], 1);
}

TEST(PngReader, PixelIndicesBeyondThePaletteReadZeroEntries) {
    PngBuilder b;
    b.header(3, 1, 8, 3).chunk("PLTE", {9, 8, 7});
    b.chunk("IDAT", compress({0, 0, 200, 255})).end();
    Decoded d;
    decodeBytes(b.bytes(), d);
    ASSERT_TRUE(d.result);
    EXPECT_EQ(d.holder.record.pixels[1], 200);
    EXPECT_EQ(d.holder.record.palette[200].red, 0);
    EXPECT_EQ(d.holder.record.palette[0].red, 9);
}

TEST(PngReader, PaletteIsCappedByTheBitDepth) {
    PngBuilder b;
    b.header(2, 1, 1, 3).chunk("PLTE", {1, 1, 1, 2, 2, 2, 3, 3, 3});
    b.chunk("IDAT", compress({0, 0x40})).end();
    Decoded d;
    decodeBytes(b.bytes(), d);
    ASSERT_TRUE(d.result);
    EXPECT_EQ(d.holder.record.palette[1].red, 2);
    EXPECT_EQ(d.holder.record.palette[2].red, 0);
}

TEST(PngReader, ZeroLengthIdatChunksJoinTheRun) {
    Bytes stream = compress(rgbRows(3, 2));
    PngBuilder b;
    b.header(3, 2, 8, 2).chunk("IDAT", {}).chunk("IDAT", stream).chunk("IDAT", {}).end();
    Decoded d, reference;
    decodeBytes(b.bytes(), d);
    decodeBytes(validRgb(), reference);
    ASSERT_TRUE(d.result && reference.result);
    expectRecordsEqual(d.holder.record, reference.holder.record);
}

// ---- Refusals and their status codes.

TEST(PngReaderRefusals, OpenAndSignature) {
    PngReader reader;
    RecordHolder h;
    TempFile missing("missing.png");
    EXPECT_EQ(reader.read(missing.wide(), &h.record), nullptr);
    EXPECT_EQ(reader.status(), kStatusInputError);
    EXPECT_EQ(statusOf({}), kStatusInputError);
    Bytes file = validRgb();
    file[1] = 'Q';
    EXPECT_EQ(statusOf(file), kStatusMalformed);
    const Bytes whole = validRgb();
    Bytes shortFile(whole.begin(), whole.begin() + 32);
    EXPECT_EQ(statusOf(shortFile), kStatusMalformed);
}

TEST(PngReaderRefusals, HeaderFields) {
    auto header = [](uint32_t w, uint32_t h, uint8_t depth, uint8_t type, uint8_t interlace = 0,
                     uint8_t compression = 0, uint8_t filter = 0) {
        PngBuilder b;
        b.header(w, h, depth, type, interlace, compression, filter)
            .chunk("IDAT", compress({0, 0, 0, 0}))
            .end();
        return b.bytes();
    };
    EXPECT_EQ(statusOf(header(0, 1, 8, 2)), kStatusUnsupported);
    EXPECT_EQ(statusOf(header(1, 0x80000000u, 8, 2)), kStatusUnsupported);
    EXPECT_EQ(statusOf(header(1, 1, 8, 2, 0, 1)), kPngBadCompression);
    EXPECT_EQ(statusOf(header(1, 1, 8, 2, 0, 0, 1)), kPngBadFilterMethod);
    EXPECT_EQ(statusOf(header(1, 1, 8, 2, 2)), kPngBadInterlace);
    for (uint8_t depth : {0, 3, 5, 7, 9, 12, 32})
        EXPECT_EQ(statusOf(header(1, 1, depth, 0)), kPngBadBitDepth);
    EXPECT_EQ(statusOf(header(1, 1, 16, 3)), kPngBadColourType);
    for (uint8_t depth : {1, 2, 4})
        for (uint8_t type : {2, 4, 6})
            EXPECT_EQ(statusOf(header(1, 1, depth, type)), kPngBadColourType);
    for (uint8_t type : {1, 5, 7, 8, 255})
        EXPECT_EQ(statusOf(header(1, 1, 8, type)), kPngBadColourType);
    // Too large to fit in 32 bits: refused before any allocation.
    EXPECT_EQ(statusOf(header(0x7FFFFFFF, 0x7FFFFFFF, 8, 2)), kStatusUnsupported);
    EXPECT_EQ(statusOf(header(0x7FFFFFFF, 0x7FFFFFFF, 16, 6, 1)), kStatusUnsupported);

    Bytes file = validRgb();
    file[11] = 12;  // IHDR length
    EXPECT_EQ(statusOf(file), kPngBadHeaderLength);
    file = validRgb();
    file[15] = 'X';  // IHDR type
    EXPECT_EQ(statusOf(file), kPngMissingHeader);
}

TEST(PngReaderRefusals, CrcMismatches) {
    PngBuilder palette;
    palette.header(1, 1, 8, 3).chunk("PLTE", {1, 2, 3}).chunk("IDAT", compress({0, 0})).end();
    EXPECT_EQ(statusOf(corruptCrc(validRgb(), "IHDR")), kPngBadCrc);
    EXPECT_EQ(statusOf(corruptCrc(palette.bytes(), "PLTE")), kPngBadCrc);
    EXPECT_EQ(statusOf(corruptCrc(validRgb(), "IDAT")), kPngBadCrc);
    EXPECT_EQ(statusOf(corruptCrc(validRgb(), "IEND")), kPngBadCrc);
    // A later IDAT of the run with a bad CRC makes the run invalid.
    Bytes stream = compress(rgbRows(3, 2));
    PngBuilder split;
    split.header(3, 2, 8, 2)
        .chunk("IDAT", Bytes(stream.begin(), stream.begin() + 5))
        .chunk("IDAT", Bytes(stream.begin() + 5, stream.end()))
        .end();
    EXPECT_EQ(statusOf(split.bytes()), kStatusOk);
    EXPECT_EQ(statusOf(corruptCrc(split.bytes(), "IDAT", 1)), kPngBadImageDataRun);
    // A PLTE in a truecolour file is skipped without a CRC test.
    PngBuilder rgbPalette;
    rgbPalette.header(3, 2, 8, 2).chunk("PLTE", {1, 2, 3}).chunk("IDAT", stream).end();
    EXPECT_EQ(statusOf(corruptCrc(rgbPalette.bytes(), "PLTE")), kStatusOk);
}

TEST(PngReaderRefusals, ChunkOrder) {
    Bytes stream = compress({0, 1, 2, 3});
    PngBuilder twoHeaders;
    twoHeaders.header(1, 1, 8, 2).header(1, 1, 8, 2).chunk("IDAT", stream).end();
    EXPECT_EQ(statusOf(twoHeaders.bytes()), kPngChunkOutOfOrder);
    PngBuilder twoPalettes;
    twoPalettes.header(1, 1, 8, 3).chunk("PLTE", {1, 2, 3}).chunk("PLTE", {1, 2, 3});
    twoPalettes.chunk("IDAT", compress({0, 0})).end();
    EXPECT_EQ(statusOf(twoPalettes.bytes()), kPngChunkOutOfOrder);
    PngBuilder lateHeader;
    lateHeader.header(1, 1, 8, 2).chunk("IDAT", stream).header(1, 1, 8, 2).end();
    EXPECT_EQ(statusOf(lateHeader.bytes()), kPngChunkOutOfOrder);
    PngBuilder latePalette;
    latePalette.header(1, 1, 8, 3).chunk("PLTE", {1, 2, 3}).chunk("IDAT", compress({0, 0}));
    latePalette.chunk("PLTE", {1, 2, 3}).end();
    EXPECT_EQ(statusOf(latePalette.bytes()), kPngChunkOutOfOrder);
    PngBuilder paletteAfterData;
    paletteAfterData.header(1, 1, 8, 3)
        .chunk("IDAT", compress({0, 0}))
        .chunk("PLTE", {1, 2, 3})
        .end();
    EXPECT_EQ(statusOf(paletteAfterData.bytes()), kPngChunkOutOfOrder);
    // An IDAT after an ancillary chunk that follows the run.
    PngBuilder lateData;
    lateData.header(1, 1, 8, 2).chunk("IDAT", stream).chunk("tEXt", {'a', 0, 'b'});
    lateData.chunk("IDAT", {}).end();
    EXPECT_EQ(statusOf(lateData.bytes()), kPngChunkOutOfOrder);
}

TEST(PngReaderRefusals, MissingData) {
    PngBuilder noData;
    noData.header(1, 1, 8, 2).end();
    EXPECT_EQ(statusOf(noData.bytes()), kPngMissingData);
    PngBuilder noPalette;
    noPalette.header(1, 1, 8, 3).chunk("IDAT", compress({0, 0})).end();
    EXPECT_EQ(statusOf(noPalette.bytes()), kPngMissingData);
}

TEST(PngReaderRefusals, LengthsAndBounds) {
    Bytes file = validRgb();
    size_t idat = findChunk(file, "IDAT");
    file[idat] = 0x80;
    EXPECT_EQ(statusOf(file), kPngBadChunkLength);

    // A chunk that runs past the end, or a file that stops before IEND.
    PngBuilder past;
    past.header(3, 2, 8, 2).chunk("IDAT", compress(rgbRows(3, 2))).chunk("tEXt", {'a', 0, 'b'});
    EXPECT_EQ(statusOf(past.bytes()), kStatusMalformed);
    Bytes truncated = past.bytes();
    past.chunk("tIME", {1, 2, 3, 4, 5, 6, 7});
    Bytes truncatedLater = past.bytes();
    truncated.resize(truncated.size() - 2);
    truncatedLater.resize(truncatedLater.size() - 2);
    EXPECT_EQ(statusOf(truncatedLater), kStatusMalformed);
    // The chunk that ends the IDAT run must itself lie within the file.
    EXPECT_EQ(statusOf(truncated), kPngBadImageDataRun);
    Bytes bigText = validRgb();
    PngBuilder text;
    text.bytes().clear();
    text.chunk("tEXt", {'a', 0, 'b'});
    bigText.insert(bigText.begin() + 33, text.bytes().begin(), text.bytes().end());
    bigText[33 + 3] = 0x7F;  // length far past the end
    EXPECT_EQ(statusOf(bigText), kStatusMalformed);

    // The run ends at the end of the file, or with a chunk running past it.
    Bytes onlyData = validRgb();
    onlyData.resize(findChunk(onlyData, "IEND"));
    EXPECT_EQ(statusOf(onlyData), kPngBadImageDataRun);
    Bytes longEnd = validRgb();
    longEnd[findChunk(longEnd, "IEND") + 3] = 9;
    EXPECT_EQ(statusOf(longEnd), kPngBadImageDataRun);
    Bytes topBit = validRgb();
    topBit[findChunk(topBit, "IEND")] = 0x80;
    EXPECT_EQ(statusOf(topBit), kPngBadImageDataRun);
}

TEST(PngReaderRefusals, CompressedDataErrors) {
    PngBuilder garbage;
    garbage.header(3, 2, 8, 2).chunk("IDAT", {1, 2, 3, 4, 5, 6}).end();
    EXPECT_EQ(statusOf(garbage.bytes()), kPngInflateFailed);
    // A stream cut short (no proper end) cannot fill the rows.
    Bytes stream = compress(rgbRows(30, 20));
    stream.resize(stream.size() / 2);
    PngBuilder cut;
    cut.header(30, 20, 8, 2).chunk("IDAT", stream).end();
    EXPECT_EQ(statusOf(cut.bytes()), kPngInflateFailed);
    PngBuilder empty;
    empty.header(3, 2, 8, 2).chunk("IDAT", {}).end();
    EXPECT_EQ(statusOf(empty.bytes()), kPngInflateFailed);
}

TEST(PngReaderRefusals, ZeroTailRowsWhenTheStreamEndsEarly) {
    // Stream with 1 of 3 rows, ending properly; an alpha picture shows the background.
    PngBuilder b;
    b.header(1, 3, 8, 6).chunk("IDAT", compress({0, 1, 2, 3, 255})).end();
    Decoded d;
    decodeBytes(b.bytes(), d);
    ASSERT_TRUE(d.result);
    const uint8_t* p = d.holder.record.pixels;  // bottom-up, stride 4
    EXPECT_EQ(p[8], 3);
    EXPECT_EQ(p[9], 2);
    EXPECT_EQ(p[10], 1);
    EXPECT_EQ(p[0], 255);
    EXPECT_EQ(p[4], 255);
}
