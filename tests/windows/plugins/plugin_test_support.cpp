#include "plugin_test_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

fs::path fromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? fs::path(value) : fs::path(".");
}

}  // namespace

fs::path testPlugin(const char* target) {
    return fromEnvironment("MORAVEL_TEST_PLUGINS") / (std::string(target) + ".dll");
}

fs::path freshFolder(const std::string& name) {
    const fs::path folder = fromEnvironment("MORAVEL_BINARY_DIR") / "plugin_tests" / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void installPlugin(const fs::path& folder, const char* target, const std::u16string& fileName) {
    const fs::path destination = folder / fs::path(fileName);
    fs::remove(destination);
    fs::copy_file(testPlugin(target), destination);
}

uint8_t patternValue(uint32_t x, uint32_t y, uint16_t bitCount, int c) {
    if (bitCount == 24) return static_cast<uint8_t>(x * 31 + y * 17 + c * 89 + 5);
    return static_cast<uint8_t>((x * 7 + y * 3 + 1) & ((1u << bitCount) - 1));
}

MrawPicture patternPicture(uint32_t width, uint32_t height, uint16_t bitCount) {
    MrawPicture picture;
    picture.width = width;
    picture.height = height;
    picture.bitCount = bitCount;
    picture.xPelsPerMeter = 2835;
    picture.yPelsPerMeter = 3780;
    if (bitCount <= 8) {
        for (uint32_t i = 0; i < (1u << bitCount); ++i)
            picture.palette.push_back(RgbQuad{static_cast<uint8_t>(i * 3 + 1),
                                              static_cast<uint8_t>(255 - i),
                                              static_cast<uint8_t>(i * 5 + 7), 0});
    }
    const uint64_t stride = mrawStride(width, bitCount);
    picture.rows.assign(stride * height, 0);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = picture.rows.data() + y * stride;
        for (uint32_t x = 0; x < width; ++x) {
            switch (bitCount) {
                case 1:
                    row[x / 8] |= patternValue(x, y, 1) << (7 - x % 8);
                    break;
                case 4:
                    row[x / 2] |= patternValue(x, y, 4) << (x % 2 ? 0 : 4);
                    break;
                case 8:
                    row[x] = patternValue(x, y, 8);
                    break;
                case 24:
                    for (int c = 0; c < 3; ++c) row[3 * x + c] = patternValue(x, y, 24, c);
                    break;
            }
        }
    }
    return picture;
}

std::vector<uint8_t> encodeMraw(const MrawPicture& picture, size_t prefix) {
    std::vector<uint8_t> bytes(prefix, 'x');
    MrawHeader header{};
    std::memcpy(header.magic, "MRAW", 4);
    header.width = picture.width;
    header.height = picture.height;
    header.bitCount = picture.bitCount;
    header.reportedDepth = picture.reportedDepth;
    header.xPelsPerMeter = picture.xPelsPerMeter;
    header.yPelsPerMeter = picture.yPelsPerMeter;
    header.paletteCount = static_cast<uint32_t>(picture.palette.size());
    header.fault = picture.fault;
    header.infoHeader = picture.infoHeader;
    header.statedColours = picture.statedColours;
    header.missingBytes = picture.missingBytes;
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&header);
    bytes.insert(bytes.end(), raw, raw + sizeof header);
    const uint8_t* table = reinterpret_cast<const uint8_t*>(picture.palette.data());
    bytes.insert(bytes.end(), table, table + picture.palette.size() * sizeof(RgbQuad));
    bytes.insert(bytes.end(), picture.rows.begin(), picture.rows.end());
    return bytes;
}
