// PNG writer: the file layout byte by byte, the adaptive filter and its tie
// rules, palette compaction, transparency chunks, refusals, and round trips
// through the reader and (natively) through PIL and pngcheck.
#include "codecs/png/png_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "codecs/png/filter_chooser.h"
#include "codecs/png/png_reader.h"
#include "tests/codecs/png/png_test_support.h"
#include "tests/support/test_picture.h"

using namespace pngtest;

namespace {

TestPicture randomPicture(int32_t w, int32_t h, uint32_t seed) {
    TestPicture p(w, h, 24);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // Smooth areas and noise, so that every filter gets chosen somewhere.
            uint8_t base = static_cast<uint8_t>(x * 3 + y * 5);
            uint8_t noise = static_cast<uint8_t>(rng() % ((y % 3) * 40 + 1));
            p.setRgb(x, y, static_cast<uint8_t>(base + noise), static_cast<uint8_t>(base * 2),
                     static_cast<uint8_t>(255 - base + noise));
        }
    return p;
}

Bytes writeToBytes(PngWriter& writer, const PictureToWrite& picture, bool expectOk = true) {
    TempFile temp("out.png");
    bool ok = writer.write(temp.wide(), picture);
    EXPECT_EQ(ok, expectOk) << writer.status();
    EXPECT_EQ(writer.status(), ok ? kStatusOk : writer.status());
    return ok ? temp.read() : Bytes{};
}

const Chunk* find(const std::vector<Chunk>& chunks, const char* type) {
    for (const Chunk& c : chunks)
        if (c.type == type) return &c;
    return nullptr;
}

std::vector<std::string> types(const std::vector<Chunk>& chunks) {
    std::vector<std::string> t;
    for (const Chunk& c : chunks) t.push_back(c.type);
    return t;
}

// The straightforward version of the adaptive filter, to check the fast one.
int referenceChoice(const Bytes& raw, const Bytes& previous, int bpp, Bytes candidates[5]) {
    const size_t n = raw.size();
    for (int f = 0; f < 5; ++f) {
        candidates[f].assign(n, 0);
        candidates[f][0] = static_cast<uint8_t>(f);
        for (size_t i = 1; i < n; ++i) {
            int a = i > static_cast<size_t>(bpp) ? raw[i - bpp] : 0;
            int b = previous[i];
            int c = i > static_cast<size_t>(bpp) ? previous[i - bpp] : 0;
            int pred = 0;
            if (f == 1) pred = a;
            if (f == 2) pred = b;
            if (f == 3) pred = (a + b) / 2;
            if (f == 4) {
                int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
            }
            candidates[f][i] = static_cast<uint8_t>(raw[i] - pred);
        }
    }
    uint32_t score[5] = {};
    for (int f = 0; f < 5; ++f)
        for (size_t i = 1; i < n; ++i) {
            uint8_t v = candidates[f][i];
            bool edge = v <= 3 || v >= 252;
            if (v == candidates[f][i - 1] && edge) ++score[f];
        }
    int su = score[2] > score[1] ? 2 : 1;
    int ap = score[4] > score[3] ? 4 : 3;
    int w = score[ap] > score[su] ? ap : su;
    return score[w] > score[0] ? w : 0;
}

}  // namespace

// ---- The adaptive filter.

TEST(PngFilterChooser, MatchesTheReferenceOnRandomRows) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 400; ++trial) {
        const int bpp = trial % 2 ? 3 : 1;
        const size_t length = 1 + (rng() % 60) * static_cast<size_t>(bpp);
        Bytes raw(length), previous(length);
        const int spread = trial % 5 == 0 ? 256 : 1 + trial % 9;
        for (size_t i = 1; i < length; ++i) {
            raw[i] = static_cast<uint8_t>(rng() % spread + (trial % 3 ? 0 : 250));
            previous[i] = static_cast<uint8_t>(rng() % spread);
        }
        Bytes expected[5];
        const int want = referenceChoice(raw, previous, bpp, expected);
        Bytes buffers[4] = {Bytes(length), Bytes(length), Bytes(length), Bytes(length)};
        Bytes rawCopy = raw;
        png::FilterRows rows{rawCopy.data(),    previous.data(),   buffers[0].data(),
                             buffers[1].data(), buffers[2].data(), buffers[3].data()};
        const int got = png::chooseFilter(rows, length, bpp);
        ASSERT_EQ(got, want) << trial;
        for (int f = 1; f < 5; ++f)
            ASSERT_EQ(buffers[f - 1], expected[f]) << trial << " filter " << f;
        ASSERT_EQ(rawCopy, expected[0]);
    }
}

TEST(PngFilterChooser, OneColourFirstRowPrefersSub) {
    for (int width : {2, 3, 10}) {
        const size_t length = 3 * static_cast<size_t>(width) + 1;
        Bytes raw(length), previous(length, 0);
        for (int x = 0; x < width; ++x) {
            raw[1 + 3 * x] = 200;
            raw[2 + 3 * x] = 100;
            raw[3 + 3 * x] = 50;
        }
        Bytes b[4] = {Bytes(length), Bytes(length), Bytes(length), Bytes(length)};
        png::FilterRows rows{raw.data(),  previous.data(), b[0].data(),
                             b[1].data(), b[2].data(),     b[3].data()};
        EXPECT_EQ(png::chooseFilter(rows, length, 3), png::kFilterSub);
        EXPECT_EQ(png::filterScore(raw.data(), length), 0u);
        EXPECT_EQ(png::filterScore(b[0].data(), length), 3u * width - 4);
        EXPECT_EQ(png::filterScore(b[1].data(), length), 0u);
        EXPECT_EQ(png::filterScore(b[2].data(), length), 0u);
        EXPECT_EQ(png::filterScore(b[3].data(), length), 3u * width - 4);
    }
}

TEST(PngFilterChooser, TieRules) {
    auto pick = [](uint32_t none, uint32_t sub, uint32_t up, uint32_t avg, uint32_t paeth) {
        const uint32_t s[5] = {none, sub, up, avg, paeth};
        return png::pickFilter(s);
    };
    EXPECT_EQ(pick(5, 5, 5, 5, 5), 0);  // all equal: None
    EXPECT_EQ(pick(0, 4, 4, 0, 0), 1);  // Sub = Up: Sub
    EXPECT_EQ(pick(0, 4, 5, 0, 0), 2);
    EXPECT_EQ(pick(0, 0, 0, 4, 4), 3);  // Average = Paeth: Average
    EXPECT_EQ(pick(0, 0, 0, 4, 5), 4);
    EXPECT_EQ(pick(0, 4, 0, 4, 0), 1);  // pair winners equal: Sub/Up side
    EXPECT_EQ(pick(0, 0, 4, 0, 4), 2);
    EXPECT_EQ(pick(0, 3, 0, 4, 0), 3);
    EXPECT_EQ(pick(6, 6, 0, 0, 0), 0);  // winner must beat None strictly
    EXPECT_EQ(pick(6, 0, 0, 0, 7), 4);
}

// ---- File layout.

TEST(PngWriter, OneByOneTruecolour) {
    TestPicture p(1, 1, 24);
    p.setRgb(0, 0, 10, 20, 30);
    PngWriter writer;
    Bytes file = writeToBytes(writer, p.view(24));
    ASSERT_GE(file.size(), 8u);
    const uint8_t signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_EQ(std::memcmp(file.data(), signature, 8), 0);
    auto chunks = parseChunks(file);
    ASSERT_EQ(types(chunks), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(chunks[0].data, (Bytes{0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0}));
    EXPECT_EQ(inflateAll(chunks[1].data), (Bytes{0, 10, 20, 30}));
    EXPECT_TRUE(chunks[2].data.empty());
    // Every CRC is right: the reader checks them.
    TempFile temp("check.png");
    temp.write(file);
    PngReader reader;
    RecordHolder h;
    ASSERT_TRUE(reader.read(temp.wide(), &h.record));
    EXPECT_EQ(h.record.pixels[0], 30);
    EXPECT_EQ(h.record.pixels[2], 10);
}

TEST(PngWriter, CompressionSettings) {
    // Level 9, window 15, memory level 9, filtered strategy: the same bytes as
    // zlib gives for those settings over the same filtered rows.
    TestPicture p = randomPicture(40, 30, 3);
    PngWriter writer;
    auto chunks = parseChunks(writeToBytes(writer, p.view(24)));
    const Chunk* idat = find(chunks, "IDAT");
    ASSERT_NE(idat, nullptr);
    Bytes rows = inflateAll(idat->data);
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15, 9, Z_FILTERED);
    Bytes out(deflateBound(&z, static_cast<uLong>(rows.size())));
    z.next_in = rows.data();
    z.avail_in = static_cast<uInt>(rows.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    EXPECT_EQ(out, idat->data);
}

TEST(PngWriter, FirstRowOfOneColourUsesSubAndRowsMatchTheReference) {
    TestPicture p(5, 3, 24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) p.setRgb(x, y, 200, 100, 50);
    PngWriter writer;
    auto chunks = parseChunks(writeToBytes(writer, p.view(24)));
    Bytes rows = inflateAll(find(chunks, "IDAT")->data);
    ASSERT_EQ(rows.size(), 3u * 16);
    EXPECT_EQ(rows[0], png::kFilterSub);
    // Later rows equal the one above: Up gives zeros everywhere and wins.
    EXPECT_EQ(rows[16], png::kFilterUp);
    for (int i = 17; i < 32; ++i) EXPECT_EQ(rows[i], 0);

    // A photo-like picture: every row is the reference choice.
    TestPicture q = randomPicture(33, 20, 5);
    auto qchunks = parseChunks(writeToBytes(writer, q.view(24)));
    Bytes qrows = inflateAll(find(qchunks, "IDAT")->data);
    const size_t length = 3 * 33 + 1;
    ASSERT_EQ(qrows.size(), 20 * length);
    Bytes previous(length, 0);
    int used[5] = {};
    for (int y = 0; y < 20; ++y) {
        Bytes raw(length, 0);
        for (int x = 0; x < 33; ++x) {
            const uint8_t* bgr = &q.pixels[static_cast<size_t>(19 - y) * q.stride() + 3 * x];
            raw[1 + 3 * x] = bgr[2];
            raw[2 + 3 * x] = bgr[1];
            raw[3 + 3 * x] = bgr[0];
        }
        Bytes candidates[5];
        int f = referenceChoice(raw, previous, 3, candidates);
        ASSERT_EQ(Bytes(qrows.begin() + y * length, qrows.begin() + (y + 1) * length),
                  candidates[f])
            << "row " << y;
        ++used[f];
        previous = raw;
    }
    EXPECT_GT(used[0] + used[1] + used[2] + used[3] + used[4], 0);
}

TEST(PngWriter, ResolutionOnlyWithBothValues) {
    TestPicture p(2, 2, 24);
    PngWriter writer;
    PictureToWrite v = p.view(24);
    v.horizontalResolution = 3780;
    v.verticalResolution = 2835;
    auto chunks = parseChunks(writeToBytes(writer, v));
    ASSERT_EQ(types(chunks), (std::vector<std::string>{"IHDR", "pHYs", "IDAT", "IEND"}));
    EXPECT_EQ(chunks[1].data, (Bytes{0, 0, 0x0E, 0xC4, 0, 0, 0x0B, 0x13, 1}));
    v.verticalResolution = 0;
    EXPECT_EQ(find(parseChunks(writeToBytes(writer, v)), "pHYs"), nullptr);
    v.horizontalResolution = 0;
    v.verticalResolution = 2835;
    EXPECT_EQ(find(parseChunks(writeToBytes(writer, v)), "pHYs"), nullptr);
}

TEST(PngWriter, TruecolourTransparency) {
    TestPicture p(3, 2, 24);
    p.setRgb(1, 1, 7, 8, 9);
    const uint8_t rgb[3] = {7, 8, 9};
    PictureToWrite v = p.view(24);
    v.transparent = true;
    v.transparentRgb = rgb;
    v.horizontalResolution = v.verticalResolution = 100;
    PngWriter writer;
    auto chunks = parseChunks(writeToBytes(writer, v));
    ASSERT_EQ(types(chunks),
              (std::vector<std::string>{"IHDR", "pHYs", "tRNS", "bKGD", "IDAT", "IEND"}));
    EXPECT_EQ(chunks[2].data, (Bytes{0, 7, 0, 8, 0, 9}));
    EXPECT_EQ(chunks[3].data, chunks[2].data);
    // The next file without transparency carries none: nothing survives.
    EXPECT_EQ(find(parseChunks(writeToBytes(writer, p.view(24))), "tRNS"), nullptr);
}

TEST(PngWriter, PaletteOfThreeColoursGainsBlack) {
    TestPicture p(4, 2, 24);
    for (int x = 0; x < 4; ++x) {
        p.setRgb(x, 0, 200, 10, 10);
        p.setRgb(x, 1, x % 2 ? 10 : 20, 200, 10);
    }
    p.setRgb(3, 1, 1, 2, 250);
    PngWriter writer;
    auto chunks = parseChunks(writeToBytes(writer, p.view(8)));
    ASSERT_EQ(types(chunks), (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
    EXPECT_EQ(chunks[0].data[8], 8);
    EXPECT_EQ(chunks[0].data[9], 3);
    // Colours in order of first occurrence in the bottom-up buffer, sorted by
    // blue + green + red, then black from the unfilled entries.
    EXPECT_EQ(chunks[1].data, (Bytes{10, 200, 10, 200, 10, 10, 20, 200, 10, 1, 2, 250, 0, 0, 0}));
    Bytes rows = inflateAll(chunks[2].data);
    ASSERT_EQ(rows.size(), 2u * 5);
    EXPECT_EQ(rows[0], 0);
    EXPECT_EQ(rows[5], 0);

    TestPicture q(3, 1, 24);
    q.setRgb(0, 0, 200, 10, 10);
    q.setRgb(1, 0, 10, 200, 10);
    q.setRgb(2, 0, 10, 10, 200);
    auto qchunks = parseChunks(writeToBytes(writer, q.view(8)));
    EXPECT_EQ(find(qchunks, "PLTE")->data.size(), 12u);
    q.setRgb(2, 0, 0, 0, 0);
    qchunks = parseChunks(writeToBytes(writer, q.view(8)));
    // Black sorts first and its swap moves the second colour forward.
    EXPECT_EQ(find(qchunks, "PLTE")->data, (Bytes{0, 0, 0, 10, 200, 10, 200, 10, 10}));
}

TEST(PngWriter, PaletteCompactionMergesRepeatedEntries) {
    TestPicture p(4, 1, 8);
    p.palette[0] = RgbQuad{1, 2, 3, 0};
    p.palette[1] = RgbQuad{9, 9, 9, 0};
    p.palette[2] = RgbQuad{1, 2, 3, 0};  // repeats entry 0
    p.palette[3] = RgbQuad{5, 5, 5, 0};
    for (int i = 4; i < 256; ++i) p.palette[i] = RgbQuad{9, 9, 9, 0};
    const uint8_t indices[4] = {3, 2, 1, 0};
    for (int x = 0; x < 4; ++x) p.setIndex(x, 0, indices[x]);
    PngWriter writer;
    auto chunks = parseChunks(writeToBytes(writer, p.view(8)));
    EXPECT_EQ(find(chunks, "PLTE")->data, (Bytes{3, 2, 1, 9, 9, 9, 5, 5, 5}));
    EXPECT_EQ(inflateAll(find(chunks, "IDAT")->data), (Bytes{0, 2, 0, 1, 0}));
}

TEST(PngWriter, PaletteTransparency) {
    TestPicture p(2, 1, 8);
    p.palette[0] = RgbQuad{0, 0, 250, 0};  // red
    p.palette[1] = RgbQuad{0, 250, 0, 0};  // green
    p.palette[2] = RgbQuad{250, 0, 0, 0};  // blue
    for (int i = 3; i < 256; ++i) p.palette[i] = p.palette[2];
    p.setIndex(0, 0, 1);
    p.setIndex(1, 0, 2);
    PngWriter writer;
    PictureToWrite v = p.view(8);
    v.transparent = true;

    const uint8_t green[3] = {0, 250, 0};
    v.transparentRgb = green;
    auto chunks = parseChunks(writeToBytes(writer, v));
    ASSERT_EQ(types(chunks),
              (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "bKGD", "IDAT", "IEND"}));
    EXPECT_EQ(chunks[2].data, (Bytes{255, 0}));
    EXPECT_EQ(chunks[3].data, (Bytes{1}));

    const uint8_t nearBlue[3] = {20, 30, 200};  // missing: the nearest entry is blue
    v.transparentRgb = nearBlue;
    chunks = parseChunks(writeToBytes(writer, v));
    EXPECT_EQ(find(chunks, "tRNS")->data, (Bytes{255, 255, 0}));
    EXPECT_EQ(find(chunks, "bKGD")->data, (Bytes{2}));

    const uint8_t red[3] = {250, 0, 0};
    v.transparentRgb = red;
    chunks = parseChunks(writeToBytes(writer, v));
    EXPECT_EQ(find(chunks, "tRNS")->data, (Bytes{0}));
    EXPECT_EQ(find(chunks, "bKGD")->data, (Bytes{0}));

    // Equal distances: the first entry wins.
    const uint8_t between[3] = {125, 125, 0};
    v.transparentRgb = between;
    chunks = parseChunks(writeToBytes(writer, v));
    EXPECT_EQ(find(chunks, "bKGD")->data, (Bytes{0}));
}

TEST(PngWriter, SmallDepthsPackIndices) {
    TestPicture p(5, 2, 8);
    p.palette[0] = RgbQuad{0, 0, 0, 0};
    p.palette[1] = RgbQuad{255, 255, 255, 0};
    p.palette[2] = RgbQuad{0, 0, 255, 0};
    p.palette[3] = RgbQuad{0, 255, 0, 0};
    const uint8_t top[5] = {1, 0, 1, 1, 0};
    for (int x = 0; x < 5; ++x) {
        p.setIndex(x, 0, top[x]);
        p.setIndex(x, 1, static_cast<uint8_t>(x % 2));
    }
    PngWriter writer;
    auto chunks = parseChunks(writeToBytes(writer, p.view(1)));
    EXPECT_EQ(chunks[0].data[8], 1);
    EXPECT_EQ(find(chunks, "PLTE")->data, (Bytes{0, 0, 0, 255, 255, 255}));
    EXPECT_EQ(inflateAll(find(chunks, "IDAT")->data), (Bytes{0, 0xB0, 0, 0x50}));

    p.setIndex(0, 0, 3);
    chunks = parseChunks(writeToBytes(writer, p.view(2)));
    EXPECT_EQ(find(chunks, "PLTE")->data, (Bytes{0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 255, 0}));
    EXPECT_EQ(inflateAll(find(chunks, "IDAT")->data), (Bytes{0, 0xC5, 0x00, 0, 0x11, 0x00}));
    // An index that does not fit the depth cannot be written.
    writeToBytes(writer, p.view(1), false);
    EXPECT_EQ(writer.status(), kStatusReducerFailed);
}

// ---- Refusals.

TEST(PngWriter, Refusals) {
    PngWriter writer;
    TestPicture p(2, 2, 24);
    TempFile temp("out.png");

    PictureToWrite wide = p.view(24);
    wide.width = 89478486;
    EXPECT_FALSE(writer.write(temp.wide(), wide));
    EXPECT_EQ(writer.status(), kStatusOutputError);
    EXPECT_FALSE(std::filesystem::exists(temp.path()));

    for (int bits : {0, 3, 16, 32}) {
        EXPECT_FALSE(writer.write(temp.wide(), p.view(bits)));
        EXPECT_EQ(writer.status(), kStatusReducerFailed);
    }
    PictureToWrite badInput = p.view(24);
    badInput.currentBitCount = 16;
    EXPECT_FALSE(writer.write(temp.wide(), badInput));
    EXPECT_EQ(writer.status(), kStatusReducerFailed);

    const std::u16string noFolder = (temp.path().parent_path() / "missing" / "x.png").u16string();
    EXPECT_FALSE(writer.write(noFolder.c_str(), p.view(24)));
    EXPECT_EQ(writer.status(), kStatusOutputError);

    PictureToWrite empty = p.view(24);
    empty.pixels = nullptr;
    EXPECT_FALSE(writer.write(temp.wide(), empty));
    EXPECT_EQ(writer.status(), kStatusUnsupported);

    // Too large for 32 bits: refused before any allocation.
    PictureToWrite huge = p.view(24);
    huge.width = 89478485;
    huge.height = 100;
    EXPECT_FALSE(writer.write(temp.wide(), huge));
    EXPECT_EQ(writer.status(), kStatusOutputError);

    EXPECT_TRUE(writer.write(temp.wide(), p.view(24)));
    EXPECT_EQ(writer.status(), kStatusOk);
}

// ---- Round trips.

TEST(PngWriter, RoundTripsThroughTheReader) {
    PngWriter writer;
    PngReader reader;
    TestPicture photo = randomPicture(31, 17, 9);
    TestPicture few(9, 7, 24);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            few.setRgb(x, y, static_cast<uint8_t>((x % 3) * 90), static_cast<uint8_t>(y * 30), 77);

    struct Case {
        const TestPicture* picture;
        int outputBits;
    } cases[] = {{&photo, 24}, {&few, 8}, {&few, 24}};
    for (const Case& c : cases) {
        TempFile temp("rt.png");
        ASSERT_TRUE(writer.write(temp.wide(), c.picture->view(c.outputBits)));
        RecordHolder h;
        ASSERT_TRUE(reader.read(temp.wide(), &h.record));
        ASSERT_EQ(h.record.header.biBitCount, c.outputBits);
        for (int y = 0; y < c.picture->height; ++y)
            for (int x = 0; x < c.picture->width; ++x) {
                const uint8_t* want =
                    &c.picture->pixels[static_cast<size_t>(y) * c.picture->stride() + 3 * x];
                uint8_t got[3];
                if (c.outputBits == 24) {
                    std::memcpy(got,
                                h.record.pixels +
                                    static_cast<size_t>(y) * rowStride(c.picture->width, 24) +
                                    3 * x,
                                3);
                } else {
                    const RgbQuad& q =
                        h.record.palette[h.record.pixels[static_cast<size_t>(y) *
                                                             rowStride(c.picture->width, 8) +
                                                         x]];
                    got[0] = q.blue;
                    got[1] = q.green;
                    got[2] = q.red;
                }
                ASSERT_EQ(std::memcmp(got, want, 3), 0) << x << "," << y;
            }
    }
}

#ifndef _WIN32
namespace {

bool haveTool(const char* path) {
    return std::filesystem::exists(path);
}

// Decodes with PIL into raw RGB bytes, top-down.
Bytes decodeWithPil(const std::filesystem::path& png) {
    const std::filesystem::path out = png.string() + ".rgb";
    const std::string command =
        "/usr/bin/python3 -c \"import sys; from PIL import Image; "
        "open(sys.argv[2], 'wb').write(Image.open(sys.argv[1]).convert('RGB').tobytes())\" '" +
        png.string() + "' '" + out.string() + "'";
    if (std::system(command.c_str()) != 0) return {};
    return readBytes(out);
}

}  // namespace

TEST(PngWriterNative, PassesPngcheckAndDecodesInPil) {
    if (!haveTool("/usr/bin/python3") || !haveTool("/usr/bin/pngcheck"))
        GTEST_SKIP() << "no python3/pngcheck";
    PngWriter writer;
    TestPicture photo = randomPicture(57, 41, 21);
    TestPicture few(13, 6, 24);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 13; ++x)
            few.setRgb(x, y, static_cast<uint8_t>(x * 19), static_cast<uint8_t>(y * 40), 3);
    TestPicture indexed(10, 4, 8);
    for (int i = 0; i < 256; ++i)
        indexed.palette[i] = RgbQuad{static_cast<uint8_t>(i), 40, static_cast<uint8_t>(255 - i), 0};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 10; ++x) indexed.setIndex(x, y, static_cast<uint8_t>(x * 25 + y));
    const uint8_t transparent[3] = {0, 80, 3};

    struct Case {
        const TestPicture* picture;
        int outputBits;
        bool transparent;
    } cases[] = {{&photo, 24, false}, {&photo, 24, true},  {&photo, 8, false},
                 {&few, 8, true},     {&indexed, 8, true}, {&indexed, 24, false}};
    for (const Case& c : cases) {
        TempFile temp("native.png");
        PictureToWrite v = c.picture->view(c.outputBits);
        v.horizontalResolution = v.verticalResolution = 2835;
        v.transparent = c.transparent;
        v.transparentRgb = transparent;
        ASSERT_TRUE(writer.write(temp.wide(), v));
        const std::string check = "/usr/bin/pngcheck -q '" + temp.path().string() + "'";
        EXPECT_EQ(std::system(check.c_str()), 0) << "pngcheck";
        Bytes rgb = decodeWithPil(temp.path());
        ASSERT_EQ(rgb.size(), static_cast<size_t>(c.picture->width) * c.picture->height * 3);
        if (c.outputBits == 8 && c.picture->bits == 24 && c.picture == &photo)
            continue;  // median cut
        for (int y = 0; y < c.picture->height; ++y)
            for (int x = 0; x < c.picture->width; ++x) {
                const size_t row = static_cast<size_t>(c.picture->height - 1 - y);
                uint8_t want[3];
                if (c.picture->bits == 24) {
                    const uint8_t* bgr = &c.picture->pixels[row * c.picture->stride() + 3 * x];
                    want[0] = bgr[2], want[1] = bgr[1], want[2] = bgr[0];
                } else {
                    const RgbQuad& q =
                        c.picture->palette[c.picture->pixels[row * c.picture->stride() + x]];
                    want[0] = q.red, want[1] = q.green, want[2] = q.blue;
                }
                const uint8_t* got = &rgb[(static_cast<size_t>(y) * c.picture->width + x) * 3];
                ASSERT_EQ(std::memcmp(got, want, 3), 0) << x << "," << y;
            }
    }
}
#endif

TEST(PngWriter, RoundTripsEverySmallSizeAndDepth) {
    PngWriter writer;
    PngReader reader;
    std::mt19937 rng(17);
    for (int width = 1; width <= 11; ++width)
        for (int height : {1, 2, 5}) {
            for (int depth : {1, 2, 4, 8, 24}) {
                // An indexed picture whose indices fit the depth, with distinct colours.
                TestPicture p(width, height, 8);
                for (int i = 0; i < 256; ++i)
                    p.palette[i] = RgbQuad{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                           static_cast<uint8_t>(i * 7), 0};
                const int colours = depth >= 8 ? 256 : 1 << depth;
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        p.setIndex(x, y, static_cast<uint8_t>(rng() % colours));
                TempFile temp("small.png");
                ASSERT_TRUE(writer.write(temp.wide(), p.view(depth))) << writer.status();
                RecordHolder h;
                ASSERT_TRUE(reader.read(temp.wide(), &h.record)) << reader.status();
                ASSERT_EQ(h.record.header.biBitCount, depth == 24 ? 24 : 8);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x) {
                        const RgbQuad& want =
                            p.palette[p.pixels[static_cast<size_t>(y) * p.stride() + x]];
                        uint8_t got[3];
                        if (depth == 24) {
                            std::memcpy(got,
                                        h.record.pixels +
                                            static_cast<size_t>(y) * rowStride(width, 24) + 3 * x,
                                        3);
                        } else {
                            const RgbQuad& q =
                                h.record.palette[h.record.pixels[static_cast<size_t>(y) *
                                                                     rowStride(width, 8) +
                                                                 x]];
                            got[0] = q.blue, got[1] = q.green, got[2] = q.red;
                        }
                        ASSERT_EQ(got[0], want.blue)
                            << width << "x" << height << " depth " << depth;
                        ASSERT_EQ(got[1], want.green);
                        ASSERT_EQ(got[2], want.red);
                    }
            }
        }
}
