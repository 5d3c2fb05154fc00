// The resize step against results computed independently by
// tests/data/resample/make_fixtures.py.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/image_record.h"
#include "driver/resize_step.h"
#include "imaging/resampler.h"
#include "imaging/sharpen.h"

namespace {

std::filesystem::path fixtureFolder() {
    const char* root = std::getenv("MORAVEL_TEST_DATA");
    return std::filesystem::path(root ? root : "tests/data") / "resample";
}

std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Case {
    std::string name;
    int32_t bits, width, height, mode, target, newWidth, newHeight;
};

std::vector<Case> readCases() {
    std::vector<Case> cases;
    std::ifstream in(fixtureFolder() / "cases.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Case c;
        if (fields >> c.name >> c.bits >> c.width >> c.height >> c.mode >> c.target >> c.newWidth >>
            c.newHeight)
            cases.push_back(c);
    }
    return cases;
}

TEST(ResizeFixtures, MatchTheIndependentResults) {
    const std::vector<Case> cases = readCases();
    ASSERT_EQ(cases.size(), 8u) << "fixtures missing in " << fixtureFolder().string();
    Resampler resampler;
    SharpenEngine sharpener;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> source = readBytes(fixtureFolder() / (c.name + ".src"));
        const std::vector<uint8_t> expected = readBytes(fixtureFolder() / (c.name + ".out"));
        ASSERT_EQ(source.size(), rowStride(c.width, c.bits) * c.height);
        ASSERT_EQ(expected.size(), rowStride(c.newWidth, 24) * c.newHeight);

        WorkingPicture picture{};
        resetRecord(picture.record);
        picture.record.pixels = allocatePixelBuffer(c.width, c.height, c.bits);
        ASSERT_NE(picture.record.pixels, nullptr);
        std::memcpy(picture.record.pixels, source.data(), source.size());
        if (c.bits == 8) {
            const std::vector<uint8_t> palette = readBytes(fixtureFolder() / (c.name + ".pal"));
            ASSERT_EQ(palette.size(), sizeof picture.record.palette);
            std::memcpy(picture.record.palette, palette.data(), palette.size());
        }
        setRecordGeometry(picture.record, c.width, c.height, c.bits);
        picture.width = c.width;
        picture.height = c.height;
        picture.currentBitCount = static_cast<uint32_t>(c.bits);
        picture.loadedBitCount = static_cast<uint16_t>(c.bits);

        const bool ok = resizeWorkingPicture(picture, c.mode, c.target, resampler, sharpener);
        EXPECT_TRUE(ok);
        if (ok) {
            EXPECT_EQ(picture.width, c.newWidth);
            EXPECT_EQ(picture.height, c.newHeight);
            EXPECT_EQ(picture.currentBitCount, 24u);
            EXPECT_EQ(picture.loadedBitCount, c.bits);
            EXPECT_EQ(0, std::memcmp(picture.record.pixels, expected.data(), expected.size()));
        }
        releasePixelBuffer(picture.record.pixels);
    }
}

}  // namespace
