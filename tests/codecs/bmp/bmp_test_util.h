// Helpers shared by the BMP tests: fixture paths, temporary files, and a
// builder for bitmap files with any header values.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/temp_file.h"

namespace bmptest {

namespace fs = std::filesystem;

inline fs::path dataDir() {
    return testDataFolder("bmp");
}

inline void putU16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
inline void putU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    putU16(b, at, v & 0xFFFF);
    putU16(b, at + 2, v >> 16);
}
inline uint32_t getU32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// Header fields of a file to build; the body (table and rows) follows the
// 54 header bytes as given.
struct BmpFields {
    int32_t width = 4;
    int32_t height = 2;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t clrUsed = 0;
    uint32_t offBits = 54;
    int32_t xRes = 0, yRes = 0;
    std::vector<uint8_t> body;
};

inline std::vector<uint8_t> buildBmp(const BmpFields& s) {
    std::vector<uint8_t> b(54 + s.body.size(), 0);
    b[0] = 'B';
    b[1] = 'M';
    putU32(b, 2, uint32_t(54 + s.body.size()));
    putU32(b, 10, s.offBits);
    putU32(b, 14, 40);
    putU32(b, 18, uint32_t(s.width));
    putU32(b, 22, uint32_t(s.height));
    putU16(b, 26, 1);
    putU16(b, 28, s.bits);
    putU32(b, 30, s.compression);
    putU32(b, 38, uint32_t(s.xRes));
    putU32(b, 42, uint32_t(s.yRes));
    putU32(b, 46, s.clrUsed);
    std::copy(s.body.begin(), s.body.end(), b.begin() + 54);
    return b;
}

}  // namespace bmptest
