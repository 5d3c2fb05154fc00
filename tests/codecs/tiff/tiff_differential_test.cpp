// Random files written by PIL and ImageMagick at test time, decoded by the
// reader and by those tools: every pixel must agree. Needs /usr/bin/python3
// with PIL and ImageMagick, so it runs on the native build only.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "codecs/tiff/tiff_reader.h"
#include "tests/codecs/tiff/tiff_test_support.h"

using namespace tifftest;

namespace {

TEST(TiffDifferential, RandomFilesMatchTheIndependentDecoders) {
#ifdef _WIN32
    GTEST_SKIP() << "needs the native Python and ImageMagick";
#else
    if (!std::filesystem::exists("/usr/bin/python3") ||
        std::system("command -v convert >/dev/null") != 0)
        GTEST_SKIP() << "no /usr/bin/python3 or ImageMagick";
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto folder =
        std::filesystem::temp_directory_path() / ("moravel_tiff_diff_" + std::to_string(stamp));
    std::filesystem::create_directories(folder);
    std::string command = "/usr/bin/python3 '" + (dataFolder() / "differential.py").string() +
                          "' '" + folder.string() + "' 20261207 40";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    std::ifstream manifest(folder / "manifest.txt");
    std::string name, kind;
    int width, height, count = 0;
    TiffReader reader;
    while (manifest >> name >> width >> height >> kind) {
        SCOPED_TRACE(name + " " + kind);
        ImageRecord record{};
        ASSERT_TRUE(reader.read((folder / (name + ".tif")).u16string().c_str(), &record))
            << "status " << reader.status();
        EXPECT_EQ(record.header.biWidth, width);
        EXPECT_EQ(record.header.biHeight, height);
        EXPECT_EQ(recordToRgb(record), readBytes(folder / (name + ".rgb")));
        EXPECT_TRUE(paddingIsZero(record));
        releasePixelBuffer(record.pixels);
        ++count;
    }
    EXPECT_EQ(count, 40);
    std::filesystem::remove_all(folder);
#endif
}

}  // namespace
