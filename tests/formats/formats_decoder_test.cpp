// The import plug-ins' decoders against pixels from the libraries' reference
// decoders (dwebp, heif-convert; stored as PAM files next to each picture;
// the AVIF pictures and theirs are made at build time by
// make_avif_fixtures.py), and their behaviour on damaged, truncated and
// hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/codec_status.h"
#include "driver/codec_set.h"
#include "formats/av1_sizes.h"
#include "formats/avif_decoder.h"
#include "formats/decoded_picture.h"
#include "formats/format_registry.h"
#include "formats/heif_boxes.h"
#include "formats/heif_decoder.h"
#include "formats/hevc_sizes.h"
#include "formats/webp_decoder.h"
#ifndef _WIN32
#include "driver/library_decoders.h"
#endif
#include "driver/library_formats.h"
#include "tests/support/temp_folder.h"

namespace {

using formats::DecodeStatus;

std::filesystem::path dataFolder() {
    const char* source = std::getenv("MORAVEL_SOURCE_DIR");
    return std::filesystem::path(source ? source : ".") / "tests" / "formats" / "data";
}

// Pictures made at build time (make_avif_fixtures.py).
std::filesystem::path madeFolder() {
    const char* made = std::getenv("MORAVEL_AVIF_FIXTURES");
    return made ? std::filesystem::path(made) : std::filesystem::path("missing-avif-fixtures");
}

// A stored picture, or with the prefix "made/" one made at build time.
std::vector<uint8_t> fixture(const std::string& name) {
    const bool made = name.rfind("made/", 0) == 0;
    const std::filesystem::path path = made ? madeFolder() / name.substr(5) : dataFolder() / name;
    const std::vector<uint8_t> bytes = readBytes(path);
    EXPECT_FALSE(bytes.empty()) << path.string() << " is missing or empty";
    return bytes;
}

// Collects the decoded rows; counts how often memory was asked for.
class VectorSink final : public formats::PictureSink {
  public:
    uint8_t* allocate(uint32_t width, uint32_t height, uint32_t stride) override {
        ++calls;
        this->width = width;
        this->height = height;
        this->stride = stride;
        rows.assign(size_t{stride} * height, 0xCD);
        return rows.data();
    }
    int calls = 0;
    uint32_t width = 0, height = 0, stride = 0;
    std::vector<uint8_t> rows;
};

// A PAM reference (RGB_ALPHA, top-down) composited onto white, as blue-green-
// red rows bottom-up: the picture the decoders must produce.
struct Expected {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> bgr;  // bottom-up, unpadded
};

Expected expectedFromPam(const std::vector<uint8_t>& pam) {
    const std::string text(pam.begin(), pam.end());
    Expected e;
    e.width = std::stoul(text.substr(text.find("WIDTH ") + 6));
    e.height = std::stoul(text.substr(text.find("HEIGHT ") + 7));
    const size_t start = text.find("ENDHDR\n") + 7;
    e.bgr.resize(size_t{e.width} * e.height * 3);
    for (uint32_t y = 0; y < e.height; ++y) {
        for (uint32_t x = 0; x < e.width; ++x) {
            const uint8_t* in = &pam[start + (size_t{y} * e.width + x) * 4];
            uint8_t* out = &e.bgr[(size_t{e.height - 1 - y} * e.width + x) * 3];
            const double alpha = in[3] / 255.0;
            for (int c = 0; c < 3; ++c)
                out[2 - c] = static_cast<uint8_t>(std::lround(in[c] * alpha + 255.0 * (1 - alpha)));
        }
    }
    return e;
}

struct FixtureCase {
    const char* picture;
    const char* reference;
};

const FixtureCase kFixtures[] = {
    {"lossy.webp", "lossy.pam"},
    {"lossy_alpha.webp", "lossy_alpha.pam"},
    {"lossless_alpha.webp", "lossless_alpha.pam"},
    // First frame: the lossless frame covering the whole canvas.
    {"animated.webp", "animated.pam"},
    {"plain.heic", "plain.pam"},
    {"alpha.heic", "alpha.pam"},
    // Turned a quarter anticlockwise and mirrored left to right (23 x 37).
    {"rotated.heic", "rotated.pam"},
    {"made/plain8_420.avif", "made/plain8_420.pam"},
    {"made/plain8_444.avif", "made/plain8_444.pam"},
    {"made/deep10_420.avif", "made/deep10_420.pam"},
    {"made/deep10_444.avif", "made/deep10_444.pam"},
    {"made/alpha8_420.avif", "made/alpha8_420.pam"},
    {"made/alpha10_444.avif", "made/alpha10_444.pam"},
    {"made/rotated.avif", "made/rotated.pam"},    // turned and mirrored as rotated.heic
    {"made/sequence.avif", "made/sequence.pam"},  // 'avis': the first frame
    {"made/wide.avif", "made/wide.pam"},
};

TEST(FormatDecoders, EqualTheReferenceDecoders) {
    for (const FixtureCase& c : kFixtures) {
        SCOPED_TRACE(c.picture);
        const std::vector<uint8_t> bytes = fixture(c.picture);
        const Expected expected = expectedFromPam(fixture(c.reference));
        const formats::FormatDecoder* decoder = formats::findDecoder(bytes.data(), bytes.size());
        ASSERT_NE(decoder, nullptr);
        formats::PictureSize size;
        ASSERT_EQ(decoder->readSize(bytes.data(), bytes.size(), size), DecodeStatus::ok);
        EXPECT_EQ(size.width, expected.width);
        EXPECT_EQ(size.height, expected.height);
        VectorSink sink;
        ASSERT_EQ(decoder->decode(bytes.data(), bytes.size(), sink), DecodeStatus::ok);
        ASSERT_EQ(sink.calls, 1);
        ASSERT_EQ(sink.width, expected.width);
        ASSERT_EQ(sink.height, expected.height);
        ASSERT_EQ(sink.stride, (expected.width * 3 + 3) / 4 * 4);
        int wrong = 0;
        for (uint32_t y = 0; y < expected.height; ++y)
            wrong +=
                std::memcmp(&sink.rows[size_t{y} * sink.stride],
                            &expected.bgr[size_t{y} * expected.width * 3], expected.width * 3) != 0;
        EXPECT_EQ(wrong, 0) << "rows differ";
    }
}

#ifdef MORAVEL_HAVE_HEIF
// Display P3 and BT.2020 pictures, described by 'nclx' or by an ICC profile,
// come out in sRGB: within 2 of Pillow's ImageCms on what the reference
// decoder gives, and clearly apart from the unconverted picture.
TEST(FormatDecoders, ColourDescriptionsTurnToSrgb) {
    for (const char* name : {"p3_nclx", "bt2020_nclx", "p3_icc"}) {
        SCOPED_TRACE(name);
        const std::string stem = std::string("made/") + name;
        const std::vector<uint8_t> bytes = fixture(stem + ".avif");
        const Expected turned = expectedFromPam(fixture(stem + ".srgb.pam"));
        const Expected decoded = expectedFromPam(fixture(stem + ".pam"));
        VectorSink sink;
        ASSERT_EQ(formats::decodeAvif(bytes.data(), bytes.size(), sink), DecodeStatus::ok);
        ASSERT_EQ(sink.width, turned.width);
        ASSERT_EQ(sink.height, turned.height);
        int fromTurned = 0, fromDecoded = 0;
        for (uint32_t y = 0; y < turned.height; ++y)
            for (size_t i = 0; i < size_t{turned.width} * 3; ++i) {
                const int got = sink.rows[size_t{y} * sink.stride + i];
                const size_t at = size_t{y} * turned.width * 3 + i;
                fromTurned = std::max(fromTurned, std::abs(got - turned.bgr[at]));
                fromDecoded = std::max(fromDecoded, std::abs(got - decoded.bgr[at]));
            }
        EXPECT_LE(fromTurned, 2);
        EXPECT_GE(fromDecoded, 10);
    }
}
#endif

TEST(FormatDecoders, RecogniseSignaturesNotNames) {
    struct Case {
        std::string head;
        bool webp, heif, avif;
    } cases[] = {
        {std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), true, false, false},
        {std::string("RIFF\x10\0\0\0WEBPVP8L", 16), true, false, false},
        {std::string("RIFF\x10\0\0\0WEBPVP8X", 16), true, false, false},
        {std::string("RIFF\x10\0\0\0WAVEfmt ", 16), false, false, false},
        {std::string("RIFF\x10\0\0\0WEBPVP9 ", 16), false, false, false},
        {std::string("RIFF\x10\0\0\0WEBP", 12), false, false, false},  // too short
        {std::string("\0\0\0\x18"
                     "ftypheic\0\0\0\0mif1heic",
                     24),
         false, true, false},
        {std::string("\0\0\0\x18"
                     "ftypmif1\0\0\0\0mif1heic",
                     24),
         false, true, false},
        {std::string("\0\0\0\x18"
                     "ftypmif1\0\0\0\0mif1avif",
                     24),
         false, false, true},
        {std::string("\0\0\0\x18"
                     "ftypavif\0\0\0\0mif1avif",
                     24),
         false, false, true},
        {std::string("\0\0\0\x1c"
                     "ftypavis\0\0\0\0avismsf1iso8",
                     28),
         false, false, true},
        // A brand only inside the box's stated size counts.
        {std::string("\0\0\0\x14"
                     "ftypmif1\0\0\0\0mif1avif",
                     24),
         false, false, false},
        {std::string("\0\0\0\x10"
                     "ftypavio\0\0\0\0",
                     16),
         false, false, false},
        {std::string("\0\0\0\x14"
                     "ftypisom\0\0\0\0mp41",
                     20),
         false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.head.substr(4, 12));
        const auto* head = reinterpret_cast<const uint8_t*>(c.head.data());
        EXPECT_EQ(formats::looksLikeWebp(head, c.head.size()), c.webp);
        EXPECT_EQ(formats::looksLikeHeif(head, c.head.size()), c.heif);
        EXPECT_EQ(formats::looksLikeAvif(head, c.head.size()), c.avif);
    }
}

// Every prefix of every file, and copies with bytes changed at random: the
// decoders fail cleanly (a sanitizer build checks the memory accesses).
TEST(FormatDecoders, TruncatedAndChangedFilesFailCleanly) {
    std::mt19937 random(22);
    for (const FixtureCase& c : kFixtures) {
        SCOPED_TRACE(c.picture);
        const std::vector<uint8_t> bytes = fixture(c.picture);
        const formats::FormatDecoder* decoder = formats::findDecoder(bytes.data(), bytes.size());
        ASSERT_NE(decoder, nullptr);
        for (size_t length = 0; length < bytes.size(); length += 1 + length / 16) {
            VectorSink sink;
            const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + length);
            EXPECT_NE(decoder->decode(part.data(), part.size(), sink), DecodeStatus::ok)
                << length << " bytes";
        }
        for (int round = 0; round < 200; ++round) {
            std::vector<uint8_t> changed = bytes;
            for (int k = 0; k < 4; ++k) changed[random() % changed.size()] ^= 1 + random() % 255;
            VectorSink sink;
            const DecodeStatus status = decoder->decode(changed.data(), changed.size(), sink);
            if (status == DecodeStatus::ok) {
                EXPECT_EQ(sink.calls, 1);
            }
        }
    }
}

// A lossy WebP header over 20 bytes declaring 16383 x 16383 pixels (768 MiB):
// a lossy file needs at least 1.6 bits per 16 x 16 block, so it is refused
// before any memory is asked for.
std::vector<uint8_t> tinyHugeWebp(uint16_t width, uint16_t height) {
    std::vector<uint8_t> frame = {0x50,
                                  0x01,
                                  0x00,
                                  0x9D,
                                  0x01,
                                  0x2A,
                                  uint8_t(width),
                                  uint8_t(width >> 8),
                                  uint8_t(height),
                                  uint8_t(height >> 8)};
    frame.resize(20);
    const uint8_t header[] = {'R', 'I', 'F', 'F', 32,  0,   0,  0, 'W', 'E',
                              'B', 'P', 'V', 'P', '8', ' ', 20, 0, 0,   0};
    frame.insert(frame.begin(), std::begin(header), std::end(header));
    return frame;
}

TEST(FormatDecoders, TinyFileDeclaringHugePictureIsRefusedBeforeMemory) {
    const std::vector<uint8_t> huge = tinyHugeWebp(16383, 16383);
    VectorSink sink;
    EXPECT_EQ(formats::decodeWebp(huge.data(), huge.size(), sink), DecodeStatus::tooLarge);
    EXPECT_EQ(sink.calls, 0);
    formats::PictureSize size;
    EXPECT_EQ(formats::readWebpSize(huge.data(), huge.size(), size), DecodeStatus::tooLarge);
    // The same header declaring a small picture is merely damaged.
    const std::vector<uint8_t> small = tinyHugeWebp(64, 64);
    EXPECT_EQ(formats::readWebpSize(small.data(), small.size(), size), DecodeStatus::ok);
    EXPECT_EQ(formats::decodeWebp(small.data(), small.size(), sink), DecodeStatus::damaged);
}

// 5000 x 5000 flat pictures as cwebp, heif-enc and avifenc write them
// (make_large_fixtures.py): files over a thousand times smaller than their
// rows decode whole, so no size bound refuses what the encoders make.
TEST(FormatDecoders, LargeFlatPicturesInSmallFilesDecode) {
    for (const char* name :
         {"made/large/flat.webp", "made/large/flat.heic", "made/large/flat.avif"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = fixture(name);
        const formats::FormatDecoder* decoder = formats::findDecoder(bytes.data(), bytes.size());
        ASSERT_NE(decoder, nullptr);
        formats::PictureSize size;
        EXPECT_EQ(decoder->readSize(bytes.data(), bytes.size(), size), DecodeStatus::ok);
        VectorSink sink;
        ASSERT_EQ(decoder->decode(bytes.data(), bytes.size(), sink), DecodeStatus::ok);
        ASSERT_EQ(sink.width, 5000u);
        ASSERT_EQ(sink.height, 5000u);
        EXPECT_GT(sink.rows.size(), bytes.size() * 1000);
        const uint8_t colour[] = {200, 140, 90};  // the script's colour as blue, green, red
        size_t off = 0;
        for (uint32_t y = 0; y < sink.height; ++y)
            for (uint32_t x = 0; x < sink.width * 3; ++x)
                off += std::abs(sink.rows[size_t{y} * sink.stride + x] - colour[x % 3]) > 8;
        EXPECT_EQ(off, 0u) << "samples further from the flat colour than lossy coding puts them";
    }
}

// The HEIC's 'ispe' box changed to 65535 x 65535: more than 4 GiB of rows.
TEST(FormatDecoders, HeifDeclaringMoreThanFourGibIsRefusedBeforeMemory) {
    std::vector<uint8_t> bytes = fixture("plain.heic");
    const uint8_t ispe[] = {'i', 's', 'p', 'e'};
    auto at = std::search(bytes.begin(), bytes.end(), std::begin(ispe), std::end(ispe));
    ASSERT_NE(at, bytes.end());
    std::fill(at + 8, at + 16, 0);
    at[10] = at[11] = at[14] = at[15] = 0xFF;
    VectorSink sink;
    EXPECT_EQ(formats::decodeHeif(bytes.data(), bytes.size(), sink), DecodeStatus::tooLarge);
    EXPECT_EQ(sink.calls, 0);
}

// heif-enc stores even a small picture as a one-tile grid whose output size
// lies in 'idat'; libheif allocates that size before decoding the tile. A
// grid of 30975 x 8224 over a 37 x 23 picture is refused before that.
TEST(FormatDecoders, HeifGridLargerThanItsPictureIsRefusedBeforeDecoding) {
    std::vector<uint8_t> bytes = fixture("plain.heic");
    const uint8_t idat[] = {'i', 'd', 'a', 't'};
    auto at = std::search(bytes.begin(), bytes.end(), std::begin(idat), std::end(idat));
    ASSERT_NE(at, bytes.end());
    // version, flags, rows - 1, columns - 1, width, height (16 bits each)
    ASSERT_EQ(at[8], 0);
    ASSERT_EQ(at[9], 37);
    ASSERT_EQ(at[11], 23);
    at[8] = 0x78;
    at[9] = 0xFF;
    at[10] = at[11] = 0x20;
    VectorSink sink;
    EXPECT_EQ(formats::decodeHeif(bytes.data(), bytes.size(), sink), DecodeStatus::damaged);
    EXPECT_EQ(sink.calls, 0);
}

// A box: size, type, then the payload.
std::vector<uint8_t> box(const char* type, const std::vector<uint8_t>& payload) {
    const size_t size = 8 + payload.size();
    std::vector<uint8_t> out = {uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8),
                                uint8_t(size)};
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// Grid and overlay descriptors lie in 'idat'; libheif allocates their output
// size before decoding any tile, so it counts as a coded size.
TEST(FormatDecoders, HeifDerivedImageSizesAreRead) {
    struct Case {
        const char* type;
        std::vector<uint8_t> descriptor;
        uint32_t width, height;
    } cases[] = {
        {"grid", {0, 0, 0, 1, 0x75, 0x30, 0x4E, 0x20}, 30000, 20000},
        {"grid", {0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0x4E, 0x20}, 65536, 20000},
        {"iovl", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x75, 0x30, 0x4E, 0x20, 0, 0, 0, 0}, 30000, 20000},
        {"iovl",
         {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0},
         65536,
         3},
        {"mime", {0, 0, 0, 1, 0x75, 0x30, 0x4E, 0x20}, 0, 0},  // not an image
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        std::vector<uint8_t> infe = {2, 0, 0, 0, 0, 1, 0, 0};  // version 2, item 1
        infe.insert(infe.end(), c.type, c.type + 4);
        infe.push_back(0);
        std::vector<uint8_t> iinf = {0, 0, 0, 0, 0, 1};
        const std::vector<uint8_t> infeBox = box("infe", infe);
        iinf.insert(iinf.end(), infeBox.begin(), infeBox.end());
        // version 1, 4-byte offsets and lengths; item 1 from 'idat' (method 1)
        const uint8_t length = static_cast<uint8_t>(c.descriptor.size());
        const std::vector<uint8_t> iloc = {1, 0, 0, 0, 0x44, 0, 0, 1, 0, 1, 0, 1,
                                           0, 0, 0, 1, 0,    0, 0, 0, 0, 0, 0, length};
        std::vector<uint8_t> meta = {0, 0, 0, 0};
        for (const auto& part : {box("iinf", iinf), box("iloc", iloc), box("idat", c.descriptor)})
            meta.insert(meta.end(), part.begin(), part.end());
        const std::vector<uint8_t> file = box("meta", meta);
        formats::HeifBoxes boxes;
        ASSERT_TRUE(formats::readHeifBoxes(file.data(), file.size(), boxes));
        EXPECT_EQ(boxes.largestDerivedWidth, c.width);
        EXPECT_EQ(boxes.largestDerivedHeight, c.height);
    }
}

// Sequence parameter sets declaring 1 to 7 sub-layers, with and without each
// sub-layer's profile and level (make_hevc_fixtures.py): the coded size read
// from the headers is the size libde265 decodes (the pictures fill whole
// coding blocks, so no conformance window crops them).
TEST(FormatDecoders, HevcSizesOfEverySubLayerCount) {
    int files = 0;
    for (int n = 0; n <= 6; ++n)
        for (const char* fields : {"00", "10", "01", "11"}) {
            if (n == 0 && fields != std::string("00")) continue;
            const std::string name = "made/hevc/sublayers_" + std::to_string(n) + "_" + fields;
            SCOPED_TRACE(name);
            const std::vector<uint8_t> heic = fixture(name + ".heic");
            formats::HeifBoxes boxes;
            formats::CodedSizes coded;
            ASSERT_TRUE(formats::readHeifBoxes(heic.data(), heic.size(), boxes));
            ASSERT_TRUE(formats::readHevcSizes(boxes, coded));
            VectorSink sink;
            ASSERT_EQ(formats::decodeHeif(heic.data(), heic.size(), sink), DecodeStatus::ok);
            EXPECT_EQ(coded.headers, 1);
            EXPECT_EQ(coded.largestWidth, sink.width);
            EXPECT_EQ(coded.largestHeight, sink.height);
            ++files;
        }
    EXPECT_EQ(files, 25);
}

// AV1 sequence headers with every optional field (timing, decoder model,
// operating points, display delays, size field widths, frame ids, order
// hints, screen content tools, superres, colour descriptions, depths and
// samplings, film grain) and frame headers overriding the size or giving a
// render size (make_av1_header_fixtures.py): the frame size read is the one
// decoded, and every file decodes to its original's pixels.
TEST(FormatDecoders, Av1SizesOfEveryOptionalHeaderField) {
    const std::vector<uint8_t> list = fixture("made/av1/list");
    std::istringstream lines(std::string(list.begin(), list.end()));
    std::string name, original;
    int files = 0;
    while (lines >> name >> original) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> avif = fixture("made/av1/" + name + ".avif");
        formats::HeifBoxes boxes;
        formats::CodedSizes coded;
        ASSERT_TRUE(formats::readHeifBoxes(avif.data(), avif.size(), boxes));
        EXPECT_TRUE(formats::readAv1Sizes(boxes, coded));
        VectorSink sink, reference;
        EXPECT_EQ(formats::decodeAvif(avif.data(), avif.size(), sink), DecodeStatus::ok);
        const std::vector<uint8_t> plain = fixture("made/av1/" + original + ".avif");
        EXPECT_EQ(formats::decodeAvif(plain.data(), plain.size(), reference), DecodeStatus::ok);
        EXPECT_GE(coded.headers, 1);
        EXPECT_EQ(coded.largestWidth, sink.width);
        EXPECT_EQ(coded.largestHeight, sink.height);
        EXPECT_EQ(sink.rows, reference.rows);
        ++files;
    }
    EXPECT_GE(files, 40);
}

// The AVIF's 'ispe' changed: to 65535 x 65535 (more than 4 GiB of rows), and
// to 8 x 8 under a 400 x 23 coded frame, which dav1d would allocate in full.
TEST(FormatDecoders, AvifDeclaringOtherSizesThanItsFramesIsRefusedBeforeMemory) {
    struct Case {
        const char* picture;
        uint32_t width, height;
        DecodeStatus expected;
    } cases[] = {
        {"made/plain8_420.avif", 65535, 65535, DecodeStatus::tooLarge},
        {"made/wide.avif", 8, 8, DecodeStatus::damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.picture);
        std::vector<uint8_t> bytes = fixture(c.picture);
        const uint8_t ispe[] = {'i', 's', 'p', 'e'};
        int found = 0;
        for (auto at = bytes.begin();
             (at = std::search(at, bytes.end(), std::begin(ispe), std::end(ispe))) != bytes.end();
             ++at, ++found) {
            for (int i = 0; i < 4; ++i) {
                at[8 + i] = static_cast<uint8_t>(c.width >> (24 - 8 * i));
                at[12 + i] = static_cast<uint8_t>(c.height >> (24 - 8 * i));
            }
        }
        ASSERT_GT(found, 0);
        VectorSink sink;
        EXPECT_EQ(formats::decodeAvif(bytes.data(), bytes.size(), sink), c.expected);
        EXPECT_EQ(sink.calls, 0);
        formats::PictureSize size;
        EXPECT_EQ(formats::readAvifSize(bytes.data(), bytes.size(), size), c.expected);
    }
}

// The frame sizes read from avifenc's files are their pictures' sizes, and
// each plug-in takes only its own coding.
TEST(FormatDecoders, AvifFrameSizesAreThePictureSizes) {
    for (const char* name : {"made/plain8_420.avif", "made/deep10_444.avif",
                             "made/alpha10_444.avif", "made/sequence.avif", "made/wide.avif"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = fixture(name);
        formats::HeifBoxes boxes;
        ASSERT_TRUE(formats::readHeifBoxes(bytes.data(), bytes.size(), boxes));
        formats::CodedSizes sizes;
        ASSERT_TRUE(formats::readAv1Sizes(boxes, sizes));
        EXPECT_GE(sizes.headers, 1);
        EXPECT_EQ(sizes.largestWidth, boxes.largestDeclaredWidth);
        EXPECT_EQ(sizes.largestHeight, boxes.largestDeclaredHeight);
        EXPECT_FALSE(formats::looksLikeHeif(bytes.data(), bytes.size()));
        VectorSink sink;
        EXPECT_EQ(formats::decodeHeif(bytes.data(), bytes.size(), sink),
                  DecodeStatus::notRecognised);
    }
    const std::vector<uint8_t> heic = fixture("plain.heic");
    VectorSink sink;
    EXPECT_EQ(formats::decodeAvif(heic.data(), heic.size(), sink), DecodeStatus::notRecognised);
}

// Sequence and frame headers written field by field, as OBUs with sizes.
class ObuWriter {
  public:
    ObuWriter& put(uint64_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) bits_.push_back((value >> i) & 1);
        return *this;
    }
    // Closes the OBU of `type` (with its size field) and appends it.
    void end(int type, std::vector<uint8_t>& out) {
        while (bits_.size() % 8) bits_.push_back(0);
        out.push_back(static_cast<uint8_t>(type << 3 | 2));
        out.push_back(static_cast<uint8_t>(bits_.size() / 8));  // below 128 here
        for (size_t i = 0; i < bits_.size(); i += 8) {
            uint8_t byte = 0;
            for (int b = 0; b < 8; ++b) byte = static_cast<uint8_t>(byte << 1 | bits_[i + b]);
            out.push_back(byte);
        }
        bits_.clear();
    }

  private:
    std::vector<int> bits_;
};

enum { kSequenceObu = 1, kFrameObu = 6 };

// A full sequence header with 16-bit size fields, screen content tools
// chosen per frame and, with `model`, timing and decoder model information
// (10-bit buffer delays, 5-bit removal times, 4-bit presentation delays).
void sequenceHeader(uint32_t maxWidth, uint32_t maxHeight, bool model, std::vector<uint8_t>& out) {
    ObuWriter w;
    w.put(0, 3).put(0, 1).put(0, 1).put(model, 1);
    if (model)
        w.put(1, 32).put(25, 32).put(0, 1).put(1, 1).put(9, 5).put(1, 32).put(4, 5).put(3, 5);
    w.put(0, 1).put(0, 5);              // no display model, one operating point
    w.put(0, 12).put(0, 3).put(0, 2);   // idc, level
    if (model) w.put(1, 1).put(0, 21);  // decoder model parameters
    w.put(15, 4).put(15, 4).put(maxWidth - 1, 16).put(maxHeight - 1, 16);
    w.put(0, 1).put(0, 3).put(0, 4).put(0, 1);  // no frame ids, tools, no order hint
    w.put(1, 1).put(1, 1);                      // screen content tools and integer mv per frame
    w.put(0, 24);
    w.end(kSequenceObu, out);
}

// A reduced still-picture header: frames always take the maximum size.
void reducedHeader(uint32_t maxWidth, uint32_t maxHeight, std::vector<uint8_t>& out) {
    ObuWriter w;
    w.put(0, 3).put(1, 1).put(1, 1).put(0, 5);
    w.put(15, 4).put(15, 4).put(maxWidth - 1, 16).put(maxHeight - 1, 16).put(0, 24);
    w.end(kSequenceObu, out);
}

// A frame header: shown key frame, or shown again (`existing`), or an inter
// frame; `width` non-zero overrides the size.
void frameHeader(bool model, bool existing, bool inter, uint32_t width, uint32_t height,
                 std::vector<uint8_t>& out) {
    ObuWriter w;
    w.put(existing, 1);
    if (existing) {
        w.put(0, 3);
    } else {
        w.put(inter ? 1 : 0, 2).put(1, 1);  // frame type, shown
        if (model) w.put(0, 4);             // presentation delay
        if (inter) w.put(0, 1);             // not error resilient
        w.put(0, 1).put(0, 1);              // cdf updates, no screen content tools
        w.put(width != 0, 1);               // frame_size_override_flag
        if (inter) w.put(0, 3);             // primary_ref_frame
        if (model) w.put(1, 1).put(0, 5);   // one buffer removal time
        if (width && !inter) w.put(width - 1, 16).put(height - 1, 16);
    }
    w.put(0, 32);
    w.end(kFrameObu, out);
}

TEST(FormatDecoders, Av1FrameSizesComeFromTheFrameHeaders) {
    enum Layout { full, fullWithModel, reduced, frameFirst };
    struct Case {
        const char* what;
        Layout layout;
        bool existing, inter;
        uint32_t overrideWidth, overrideHeight;
        uint32_t width, height;  // expected largest
        int headers;
    } cases[] = {
        {"key frame at the maximum", full, false, false, 0, 0, 64, 48, 1},
        {"key frame overriding the maximum", full, false, false, 60000, 50000, 60000, 50000, 1},
        {"the same behind a decoder model", fullWithModel, false, false, 60000, 50000, 60000, 50000,
         1},
        {"a frame shown again allocates nothing", full, true, false, 0, 0, 0, 0, 0},
        {"inter frame overriding: all its fields hold", full, false, true, 1, 1, 65536, 65536, 1},
        {"reduced header: the maximum", reduced, false, false, 0, 0, 40000, 30000, 1},
        {"no sequence header before the frame", frameFirst, false, false, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> config = {0x81, 0, 0, 0}, data;
        if (c.layout == reduced)
            reducedHeader(40000, 30000, config);
        else if (c.layout != frameFirst)
            sequenceHeader(64, 48, c.layout == fullWithModel, config);
        frameHeader(c.layout == fullWithModel, c.existing, c.inter, c.overrideWidth,
                    c.overrideHeight, data);
        formats::HeifBoxes boxes;
        formats::HeifCodedItem item;
        std::memcpy(item.type, "av01", 4);
        item.config = {config.data(), config.size()};
        item.data = data;
        boxes.codedItems.push_back(item);
        formats::CodedSizes sizes;
        ASSERT_TRUE(formats::readAv1Sizes(boxes, sizes));
        EXPECT_EQ(sizes.largestWidth, c.width);
        EXPECT_EQ(sizes.largestHeight, c.height);
        EXPECT_EQ(sizes.headers, c.headers);
    }
    // Configuration OBUs must be whole and carry their sizes, so that the
    // item's data starts a new OBU for the decoder as for this reader.
    std::vector<uint8_t> config = {0x81, 0, 0, 0};
    sequenceHeader(64, 48, false, config);
    config.pop_back();
    formats::HeifBoxes boxes;
    formats::HeifCodedItem item;
    std::memcpy(item.type, "av01", 4);
    item.config = {config.data(), config.size()};
    boxes.codedItems.push_back(item);
    formats::CodedSizes sizes;
    EXPECT_FALSE(formats::readAv1Sizes(boxes, sizes));
    config[4] &= ~2;  // no size field
    EXPECT_FALSE(formats::readAv1Sizes(boxes, sizes));
    // An item giving the decoder no bytes at all (an empty 'av1C' and no data).
    boxes.codedItems[0].config = {config.data(), 4};
    EXPECT_FALSE(formats::readAv1Sizes(boxes, sizes));
}

TEST(FormatDecoders, PictureBounds) {
    const uint64_t fourGib = uint64_t{1} << 32;
    struct Case {
        uint32_t width, height;
        uint64_t describable;
        bool allowed;
    } cases[] = {
        {0, 10, UINT64_MAX, false},
        {10, 0, UINT64_MAX, false},
        {1, 1, 0, true},                    // small pictures are never checked
        {4096, 5461, 0, true},              // 12288 * 5461 bytes: just below 64 MiB
        {4096, 5462, 0, false},             // just above, nothing describable
        {4096, 5462, 4096u * 5462u, true},  // exactly describable
        {4096, 5462, 4096u * 5462u - 1, false},
        {65536, 21845, UINT64_MAX, true},   // 196608 * 21845 < 4 GiB
        {65536, 21846, UINT64_MAX, false},  // 4 GiB or more never
        {1, static_cast<uint32_t>(fourGib / 4), UINT64_MAX, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        EXPECT_EQ(formats::pictureAllowed({c.width, c.height}, c.describable), c.allowed);
    }
}

TEST(FormatDecoders, AlphaIsCompositedOntoWhite) {
    // blue, green, red, alpha -> blue, green, red
    const uint8_t bgra[] = {10, 20, 30, 255, 10, 20, 30, 0, 0, 0, 0, 128, 255, 0, 100, 1};
    uint8_t bgr[12];
    formats::compositeRowOnWhite(bgra, bgr, 4);
    const uint8_t expected[] = {10, 20, 30, 255, 255, 255, 127, 127, 127, 255, 254, 254};
    EXPECT_EQ(std::memcmp(bgr, expected, sizeof expected), 0);
}

#ifndef _WIN32
// On Windows the import plug-ins read these formats (plugin tests).
TEST(LibraryDecoders, FillTheRecordOrLeaveNoPixels) {
    TempFolder folder;
    const std::vector<uint8_t> lossy = fixture("lossy.webp");
    const auto good = folder.write("picture.bin", lossy);
    const auto damaged =
        folder.write("damaged.webp", std::vector<uint8_t>(lossy.begin(), lossy.begin() + 100));
    const auto other = folder.write("other.webp", {'G', 'I', 'F', '8', '9', 'a', 0, 0});
    const auto empty = folder.write("empty.webp", {});

    // The driver hands the table's reader for unsniffed files every file it
    // has read whole and cannot name.
    const FormatEntry* entry = readerFor(everyFormat(), kFormatUnknown);
    ASSERT_NE(entry, nullptr);
    ASSERT_EQ(entry->read, &readWithLibraries);
    const auto codecs = std::make_unique<CodecSet>();
    ReadResult report;
    auto read = [&](const std::filesystem::path& path, ImageRecord& record) {
        SourceBytes bytes;
        report = {};
        if (bytes.load(u16(path).c_str()) != kStatusOk) return false;
        report = entry->read(*codecs, bytes, record, ReadRequest{});
        return report.ok;
    };
    ImageRecord record{};
    ASSERT_TRUE(read(good, record));
    EXPECT_FALSE(report.damaged);
    EXPECT_EQ(record.header.biWidth, 37);
    EXPECT_EQ(record.header.biHeight, 23);
    EXPECT_EQ(record.header.biBitCount, 24);
    EXPECT_EQ(record.sourceFileSize, lossy.size());
    EXPECT_EQ(record.sourceFormat, kFormatUnknown);
    const Expected expected = expectedFromPam(fixture("lossy.pam"));
    EXPECT_EQ(std::memcmp(record.pixels, expected.bgr.data(), 37 * 3), 0);
    releasePixelBuffer(record.pixels);

    // The decoder's reason reaches the driver; a file that is no library
    // format has none.
    const struct {
        std::filesystem::path path;
        uint32_t status;
    } failures[] = {
        {damaged, kStatusMalformed}, {other, 0}, {empty, 0}, {folder / "missing.webp", 0}};
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.path.filename().string());
        ImageRecord failed{};
        EXPECT_FALSE(read(failure.path, failed));
        EXPECT_EQ(failed.pixels, nullptr);
        EXPECT_EQ(report.status, failure.status);
    }
}
#endif

}  // namespace
