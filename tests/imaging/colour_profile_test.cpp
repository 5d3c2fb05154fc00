// Embedded profiles to sRGB against Pillow's ImageCms (relative colorimetric,
// black-point compensation), on profiles built from published primaries by
// tests/imaging/make_colour_fixtures.py; refused profiles leave the picture
// alone. The digests hold the Linux program's bytes: the Windows build must
// give the same.
#include "imaging/colour_profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/jpeg/jpeg_reader.h"
#include "core/crc32.h"
#include "core/image_record.h"
#include "tests/support/bytes.h"

namespace {

namespace fs = std::filesystem;
using imaging::ProfileOutcome;

constexpr int kWidth = 64;
constexpr int kHeight = 68;

Bytes fixture(const std::string& name) {
    return readBytes(testDataFolder("colour") / name);
}

// 256 greys, then the 16-level lattice, red slowest, as RGB top row first
// (the fixture script's pattern).
std::vector<uint8_t> patternRgb() {
    std::vector<uint8_t> rgb;
    for (int g = 0; g < 256; ++g) rgb.insert(rgb.end(), 3, static_cast<uint8_t>(g));
    for (int r = 0; r < 16; ++r)
        for (int g = 0; g < 16; ++g)
            for (int b = 0; b < 16; ++b)
                rgb.insert(rgb.end(), {static_cast<uint8_t>(17 * r), static_cast<uint8_t>(17 * g),
                                       static_cast<uint8_t>(17 * b)});
    return rgb;
}

// Owns a record's page-allocated pixels.
struct Picture {
    ImageRecord record{};
    Picture(int width, int height, int bitCount) {
        resetRecord(record);
        setRecordGeometry(record, width, height, bitCount);
        record.pixels = allocatePixelBuffer(width, height, bitCount);
    }
    ~Picture() { releasePixelBuffer(record.pixels); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    uint32_t stride() const { return rowStride(record.header.biWidth, record.header.biBitCount); }
    size_t bytes() const { return size_t{stride()} * record.header.biHeight; }
    std::vector<uint8_t> pixelCopy() const {
        return std::vector<uint8_t>(record.pixels, record.pixels + bytes());
    }
    uint32_t digest() const {
        Crc32Table table;
        uint32_t crc = table.update(0xFFFFFFFF, record.pixels, bytes());
        return ~table.update(crc, reinterpret_cast<const uint8_t*>(record.palette),
                             sizeof record.palette);
    }
};

// The pattern as a bottom-up blue-green-red record.
void fillPattern(Picture& picture) {
    const std::vector<uint8_t> rgb = patternRgb();
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = picture.record.pixels + size_t(kHeight - 1 - y) * picture.stride();
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* in = &rgb[3 * (size_t(y) * kWidth + x)];
            row[3 * x] = in[2];
            row[3 * x + 1] = in[1];
            row[3 * x + 2] = in[0];
        }
    }
}

// A grey picture as the JPEG reader gives it: levels through the identity
// grey palette; the pixels are the levels 0 to 255.
void fillGrey(Picture& picture) {
    for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<uint8_t>(i);
        picture.record.palette[i] = {level, level, level, 0};
        picture.record.pixels[i] = level;
    }
}

int largestDifference(const Picture& picture, const std::vector<uint8_t>& referenceRgb) {
    int largest = 0;
    for (int y = 0; y < kHeight; ++y) {
        const uint8_t* row = picture.record.pixels + size_t(kHeight - 1 - y) * picture.stride();
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* want = &referenceRgb[3 * (size_t(y) * kWidth + x)];
            for (int c = 0; c < 3; ++c)
                largest = std::max(largest, std::abs(row[3 * x + 2 - c] - want[c]));
        }
    }
    return largest;
}

struct ProfileCase {
    const char* name;
    const char* profile;  // in tests/data/colour
    bool grey;            // an 8-bit grey picture instead of the colour pattern
    ProfileOutcome outcome;
    uint32_t digest;  // of the result, as Linux gives it (0: unchanged, not checked)
};

const ProfileCase kCases[] = {
    {"DisplayP3", "display-p3.icc", false, ProfileOutcome::applied, 0xcac72cce},
    {"AdobeRgb", "adobe-rgb.icc", false, ProfileOutcome::applied, 0xb4609184},
    {"GreyGamma18", "grey-gamma18.icc", true, ProfileOutcome::applied, 0x625d8afc},
    {"SrgbOfTheLibrary", "srgb-lcms.icc", false, ProfileOutcome::unchanged, 0},
    {"SrgbDescribedApart", "srgb-own.icc", false, ProfileOutcome::unchanged, 0},
};

class ColourProfileTest : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ColourProfileTest, MatchesPillowAndChangesNothingForSrgb) {
    const ProfileCase& c = GetParam();
    const std::vector<uint8_t> icc = fixture(c.profile);
    ASSERT_FALSE(icc.empty()) << c.profile;
    Picture picture(c.grey ? 256 : kWidth, c.grey ? 1 : kHeight, c.grey ? 8 : 24);
    ASSERT_NE(picture.record.pixels, nullptr);
    c.grey ? fillGrey(picture) : fillPattern(picture);
    const std::vector<uint8_t> before = picture.pixelCopy();
    const uint32_t digestBefore = picture.digest();

    ASSERT_EQ(imaging::convertPictureToSrgb(icc.data(), icc.size(), picture.record), c.outcome);
    if (c.outcome == ProfileOutcome::unchanged) {
        EXPECT_EQ(picture.digest(), digestBefore);
        return;
    }
    const std::string referenceName = std::string(c.profile, std::strlen(c.profile) - 4) + ".ref";
    const std::vector<uint8_t> reference = fixture(referenceName);
    if (c.grey) {
        // An indexed picture: the pixels keep their indices, the palette turns.
        EXPECT_EQ(picture.pixelCopy(), before);
        ASSERT_EQ(reference.size(), 256u * 3);
        for (int i = 0; i < 256; ++i) {
            const RgbQuad& entry = picture.record.palette[i];
            EXPECT_TRUE(entry.red == entry.green && entry.green == entry.blue) << "level " << i;
            EXPECT_NEAR(entry.red, reference[3 * i], 2) << "level " << i;
        }
    } else {
        ASSERT_EQ(reference.size(), size_t{kWidth} * kHeight * 3);
        EXPECT_LE(largestDifference(picture, reference), 2);
    }
    if (!c.grey) {
        EXPECT_NE(picture.pixelCopy(), before) << "nothing was converted";
    }
    EXPECT_EQ(picture.digest(), c.digest) << std::hex << "digest 0x" << picture.digest();
}

INSTANTIATE_TEST_SUITE_P(Profiles, ColourProfileTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// An indexed picture converts its palette like the same colours as pixels.
TEST(ColourProfile, PaletteTurnsLikeThePixels) {
    const std::vector<uint8_t> icc = fixture("display-p3.icc");
    Picture pixels(kWidth, kHeight, 24);
    fillPattern(pixels);
    Picture indexed(256, 1, 8);
    for (int i = 0; i < 256; ++i) {
        // Every 17th lattice colour, from the top rows of the pattern.
        const int at = 256 + 17 * i, x = at % kWidth, y = at / kWidth;
        const uint8_t* p = pixels.record.pixels + size_t(kHeight - 1 - y) * pixels.stride() + 3 * x;
        indexed.record.palette[i] = {p[0], p[1], p[2], 0};
        indexed.record.pixels[i] = static_cast<uint8_t>(i);
    }
    ASSERT_EQ(imaging::convertPictureToSrgb(icc.data(), icc.size(), pixels.record),
              ProfileOutcome::applied);
    ASSERT_EQ(imaging::convertPictureToSrgb(icc.data(), icc.size(), indexed.record),
              ProfileOutcome::applied);
    for (int i = 0; i < 256; ++i) {
        const int at = 256 + 17 * i, x = at % kWidth, y = at / kWidth;
        const uint8_t* p = pixels.record.pixels + size_t(kHeight - 1 - y) * pixels.stride() + 3 * x;
        const RgbQuad& entry = indexed.record.palette[i];
        EXPECT_EQ((std::vector<int>{entry.blue, entry.green, entry.red}),
                  (std::vector<int>{p[0], p[1], p[2]}))
            << "entry " << i;
    }
}

void putBigEndian32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

struct RefusedCase {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> spoil;
};

// Each spoils the Display P3 profile; the picture must come out as decoded.
const RefusedCase kRefused[] = {
    {"CutShort", [](auto& icc) { icc.resize(icc.size() - 1); }},
    {"HeaderOnly", [](auto& icc) { icc.resize(100); }},
    {"DeclaredLarger", [](auto& icc) { putBigEndian32(icc, 0, uint32_t(icc.size()) + 4); }},
    {"NoSignature", [](auto& icc) { icc[36] = 'x'; }},
    {"AbsurdTagCount", [](auto& icc) { putBigEndian32(icc, 128, 0x7FFFFFFF); }},
    {"TagPastTheEnd", [](auto& icc) { putBigEndian32(icc, 132 + 4, 0xFFFFFFF0); }},
    {"TagIntoTheTable", [](auto& icc) { putBigEndian32(icc, 132 + 4, 8); }},
    {"OverFourMiB",
     [](auto& icc) {
         icc.resize((size_t{4} << 20) + 4);
         putBigEndian32(icc, 0, uint32_t(icc.size()));
     }},
    {"LabData", [](auto& icc) { std::memcpy(&icc[16], "Lab ", 4); }},
    {"DeviceLink", [](auto& icc) { std::memcpy(&icc[12], "link", 4); }},
    // Passes the header check; the library finds no colorant it can read.
    {"ColorantsOfAnotherType",
     [](auto& icc) {
         for (size_t at = 132; at + 4 <= icc.size(); ++at)
             if (std::memcmp(&icc[at], "XYZ ", 4) == 0) std::memcpy(&icc[at], "curv", 4);
     }},
    {"Empty", [](auto& icc) { icc.clear(); }},
};

TEST(ColourProfile, RefusedProfilesLeaveThePictureAlone) {
    const std::vector<uint8_t> good = fixture("display-p3.icc");
    ASSERT_FALSE(good.empty());
    for (const RefusedCase& c : kRefused) {
        std::vector<uint8_t> icc = good;
        c.spoil(icc);
        Picture picture(kWidth, kHeight, 24);
        fillPattern(picture);
        const uint32_t before = picture.digest();
        const ProfileOutcome expected =
            icc.empty() ? ProfileOutcome::unchanged : ProfileOutcome::ignored;
        EXPECT_EQ(imaging::convertPictureToSrgb(icc.data(), icc.size(), picture.record), expected)
            << c.name;
        EXPECT_EQ(picture.digest(), before) << c.name;
        EXPECT_FALSE(imaging::ColourTransform::fromIcc(icc.data(), icc.size()).usable()) << c.name;
    }
}

// A profile whose tag table lists more tags than any real profile has is
// refused by the header check, though every entry is sound.
TEST(ColourProfile, TagCountIsBounded) {
    const std::vector<uint8_t> p3 = fixture("display-p3.icc");
    for (uint32_t count : {imaging::kMaxIccTags, imaging::kMaxIccTags + 1}) {
        // The header, then `count` entries that all name the first tag's data.
        std::vector<uint8_t> icc(p3.begin(), p3.begin() + 128);
        const size_t table = 132 + size_t{count} * 12;
        icc.resize(table);
        putBigEndian32(icc, 128, count);
        const uint32_t offset =
            (uint32_t(p3[132 + 4]) << 24) | (p3[132 + 5] << 16) | (p3[132 + 6] << 8) | p3[132 + 7];
        const uint32_t length = (uint32_t(p3[132 + 8]) << 24) | (p3[132 + 9] << 16) |
                                (p3[132 + 10] << 8) | p3[132 + 11];
        icc.insert(icc.end(), p3.begin() + offset, p3.begin() + offset + length);
        for (uint32_t i = 0; i < count; ++i) {
            std::memcpy(&icc[132 + 12 * i], "desc", 4);
            putBigEndian32(icc, 132 + 12 * i + 4, uint32_t(table));
            putBigEndian32(icc, 132 + 12 * i + 8, length);
        }
        putBigEndian32(icc, 0, uint32_t(icc.size()));
        EXPECT_EQ(imaging::checkIccHeader(icc.data(), icc.size()).usable,
                  count <= imaging::kMaxIccTags)
            << count;
    }
}

// Trailing bytes after the declared size (a padded chunk) do not matter.
TEST(ColourProfile, BytesAfterTheDeclaredSizeAreIgnored) {
    std::vector<uint8_t> icc = fixture("display-p3.icc");
    Picture plain(kWidth, kHeight, 24), padded(kWidth, kHeight, 24);
    fillPattern(plain);
    fillPattern(padded);
    ASSERT_EQ(imaging::convertPictureToSrgb(icc.data(), icc.size(), plain.record),
              ProfileOutcome::applied);
    icc.insert(icc.end(), 64, 0xEE);
    ASSERT_EQ(imaging::convertPictureToSrgb(icc.data(), icc.size(), padded.record),
              ProfileOutcome::applied);
    EXPECT_EQ(padded.digest(), plain.digest());
}

// The straight path for matrix-shaper profiles stays within one level of
// the library's general path on every colour of the cube.
TEST(ColourProfile, StraightPathMatchesTheLibraryOnEveryColour) {
    std::vector<uint8_t> cube(size_t{256} * 256 * 256 * 3);
    for (size_t i = 0; i < cube.size() / 3; ++i) {
        cube[3 * i] = static_cast<uint8_t>(i);
        cube[3 * i + 1] = static_cast<uint8_t>(i >> 8);
        cube[3 * i + 2] = static_cast<uint8_t>(i >> 16);
    }
    for (const char* name : {"display-p3.icc", "adobe-rgb.icc", "bt2020.icc"}) {
        const std::vector<uint8_t> icc = fixture(name);
        const auto transform = imaging::ColourTransform::fromIcc(icc.data(), icc.size());
        std::vector<uint8_t> straight = cube, library = cube;
        const uint32_t width = 4096, height = uint32_t(cube.size() / 3 / width);
        ASSERT_EQ(transform.convertBgrRows(straight.data(), width, height, width * 3),
                  ProfileOutcome::applied);
        ASSERT_EQ(transform.convertBgrRowsByLibrary(library.data(), width, height, width * 3),
                  ProfileOutcome::applied);
        int largest = 0;
        size_t apart = 0;
        for (size_t i = 0; i < cube.size(); ++i) {
            const int d = std::abs(straight[i] - library[i]);
            largest = std::max(largest, d);
            apart += d != 0;
        }
        EXPECT_LE(largest, 1) << name;
        EXPECT_NE(straight, cube) << name;
        // The whole cube goes in bands on several threads; pieces small
        // enough for one band each must give the same bytes.
        std::vector<uint8_t> pieces = cube;
        for (uint32_t first = 0; first < height; first += 64)
            transform.convertBgrRows(pieces.data() + size_t{first} * width * 3, width, 64,
                                     width * 3);
        EXPECT_EQ(pieces, straight) << name;
        RecordProperty(name, std::to_string(apart));
    }
}

// HEIF's Display P3 'nclx' gives what the Display P3 ICC profile gives.
TEST(ColourProfile, PrimariesMatchTheirIccProfile) {
    const imaging::PrimariesDescription p3{{0.680, 0.320},
                                           {0.265, 0.690},
                                           {0.150, 0.060},
                                           {0.3127, 0.3290},
                                           imaging::TransferCurve::srgb};
    const imaging::ColourTransform transform = imaging::ColourTransform::fromPrimaries(p3);
    ASSERT_TRUE(transform.usable());
    EXPECT_FALSE(transform.changesNothing());
    Picture picture(kWidth, kHeight, 24);
    fillPattern(picture);
    ASSERT_EQ(transform.convertRecord(picture.record), ProfileOutcome::applied);
    EXPECT_LE(largestDifference(picture, fixture("display-p3.ref")), 2);

    const imaging::PrimariesDescription srgb{{0.640, 0.330},
                                             {0.300, 0.600},
                                             {0.150, 0.060},
                                             {0.3127, 0.3290},
                                             imaging::TransferCurve::srgb};
    EXPECT_TRUE(imaging::ColourTransform::fromPrimaries(srgb).changesNothing());
}

// A CMYK JPEG goes through its CMYK profile; without one, or with a profile
// of another space, it keeps the plain ink product.
TEST(ColourProfile, CmykJpegThroughItsProfile) {
    const std::vector<uint8_t> jpeg = fixture("cmyk-inks.jpg");
    const std::vector<uint8_t> cmyk = fixture("cmyk-inks.icc");
    const std::vector<uint8_t> p3 = fixture("display-p3.icc");
    const std::vector<uint8_t> reference = fixture("cmyk-inks.ref");
    ASSERT_EQ(reference.size(), size_t{kWidth} * kHeight * 3);
    const imaging::ColourTransform inks =
        imaging::ColourTransform::fromIcc(cmyk.data(), cmyk.size());
    ASSERT_TRUE(inks.usable());
    EXPECT_EQ(inks.space(), imaging::IccSpace::cmyk);
    const imaging::ColourTransform other = imaging::ColourTransform::fromIcc(p3.data(), p3.size());

    // A decoded picture cannot take a CMYK profile afterwards.
    Picture decoded(kWidth, kHeight, 24);
    fillPattern(decoded);
    EXPECT_EQ(inks.convertRecord(decoded.record), ProfileOutcome::ignored);

    struct Read {
        const imaging::ColourTransform* profile;
        bool applied;
    };
    std::vector<uint32_t> digests;
    for (const Read& r : {Read{nullptr, false}, Read{&other, false}, Read{&inks, true}}) {
        JpegReader reader;
        reader.setCmykProfile(r.profile);
        Picture picture(1, 1, 24);
        releasePixelBuffer(picture.record.pixels);
        picture.record.pixels = nullptr;
        ASSERT_NE(reader.readMemory(jpeg.data(), jpeg.size(), &picture.record), nullptr);
        EXPECT_EQ(reader.cmykProfileApplied(), r.applied);
        ASSERT_EQ(picture.record.header.biWidth, kWidth);
        ASSERT_EQ(picture.record.header.biHeight, kHeight);
        digests.push_back(picture.digest());
        if (r.applied) {
            EXPECT_LE(largestDifference(picture, reference), 2);
        }
    }
    EXPECT_EQ(digests[0], digests[1]);
    EXPECT_NE(digests[0], digests[2]);
    EXPECT_EQ(digests[2], 0xd718d1cdu) << std::hex << "digest 0x" << digests[2];
}

}  // namespace
