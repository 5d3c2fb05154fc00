// Helpers shared by the GIF tests: fixture paths, hand-built GIF files and
// LZW code packing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/image_record.h"
#include "tests/support/temp_folder.h"

namespace giftest {

inline std::filesystem::path dataFolder() {
    const char* root = std::getenv("MORAVEL_TEST_DATA");
    return std::filesystem::path(root ? root : "tests/data") / "gif";
}

// Codes packed least-significant bit first, each at its own width.
class CodePacker {
  public:
    void put(unsigned code, int width) {
        bits_ |= uint64_t{code} << count_;
        count_ += width;
        while (count_ >= 8) {
            bytes_.push_back(static_cast<uint8_t>(bits_));
            bits_ >>= 8;
            count_ -= 8;
        }
    }
    std::vector<uint8_t> finish() {
        if (count_ > 0) bytes_.push_back(static_cast<uint8_t>(bits_));
        count_ = 0;
        bits_ = 0;
        return bytes_;
    }

  private:
    std::vector<uint8_t> bytes_;
    uint64_t bits_ = 0;
    int count_ = 0;
};

inline void putU16(std::vector<uint8_t>& out, unsigned value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void appendSubBlocks(std::vector<uint8_t>& out, const std::vector<uint8_t>& data) {
    for (size_t i = 0; i < data.size(); i += 255) {
        size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<long>(i),
                   data.begin() + static_cast<long>(i + n));
    }
    out.push_back(0);
}

// The parts of a small GIF file, assembled by build(). The default is a
// 4 x 1 screen with a 4-entry global table and one image covering it whose
// data decodes to 0, 1, 2, 3.
struct GifParts {
    std::string signature = "GIF89a";
    unsigned screenWidth = 4, screenHeight = 1;
    bool globalTable = true;
    unsigned tableBits = 2;
    uint8_t background = 0;
    std::vector<uint8_t> beforeImage;  // extension blocks
    unsigned left = 0, top = 0, width = 4, height = 1;
    uint8_t imagePacked = 0;
    std::vector<uint8_t> localTable;  // appended after the descriptor as is
    uint8_t minCodeSize = 2;
    std::vector<uint8_t> data = defaultData();
    bool trailer = true;

    static std::vector<uint8_t> defaultData() {
        CodePacker codes;  // clear, 0, 1, 2, 3, end
        for (auto [code, width] : {std::pair{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}, {5, 4}})
            codes.put(static_cast<unsigned>(code), width);
        return codes.finish();
    }

    std::vector<uint8_t> build() const {
        std::vector<uint8_t> out(signature.begin(), signature.end());
        putU16(out, screenWidth);
        putU16(out, screenHeight);
        out.push_back(static_cast<uint8_t>(globalTable ? 0xF0 | (tableBits - 1) : 0));
        out.push_back(background);
        out.push_back(0);
        if (globalTable)
            for (unsigned i = 0; i < (1u << tableBits); ++i) {
                out.push_back(static_cast<uint8_t>(10 * i + 1));
                out.push_back(static_cast<uint8_t>(10 * i + 2));
                out.push_back(static_cast<uint8_t>(10 * i + 3));
            }
        out.insert(out.end(), beforeImage.begin(), beforeImage.end());
        out.push_back(0x2C);
        putU16(out, left);
        putU16(out, top);
        putU16(out, width);
        putU16(out, height);
        out.push_back(imagePacked);
        out.insert(out.end(), localTable.begin(), localTable.end());
        out.push_back(minCodeSize);
        appendSubBlocks(out, data);
        if (trailer) out.push_back(0x3B);
        return out;
    }
};

// Index of the pixel at (x, y), y counted from the top, in a bottom-up record.
inline uint8_t indexAt(const ImageRecord& record, int x, int y) {
    const uint32_t stride = rowStride(record.header.biWidth, 8);
    return record.pixels[size_t(record.header.biHeight - 1 - y) * stride + size_t(x)];
}

}  // namespace giftest
